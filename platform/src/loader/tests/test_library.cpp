// A library for the loader's tests: it counts its entry point's calls in
// an environment variable the test reads, and exports one function by name
// and one by ordinal only.
#include <cstdlib>
#include <string>

#include <handset/loader.h>

namespace {

int byOrdinal()
{
    return 240;
}

void note(const char* what)
{
    const char* before = std::getenv("LOADER_TEST_CALLS");
    std::string calls = before ? before : "";
    calls += what;
    ::setenv("LOADER_TEST_CALLS", calls.c_str(), 1);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int namedExport()
{
    return 7;
}

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    note(reason == DLL_PROCESS_ATTACH ? "A" : "D");
    return std::getenv("LOADER_TEST_FAIL_ATTACH") ? FALSE : TRUE;
}

HANDSET_ORDINAL_EXPORTS({240, reinterpret_cast<FARPROC>(&byOrdinal)});
