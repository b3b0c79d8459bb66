// A small in-process COM server for the COM tests, built as the phone's
// servers are: one class, a factory, DllGetClassObject and DllCanUnloadNow
// exported by name and by ordinal (1 and 2), and DllCanUnloadNow counting
// live objects as well as server locks.
#include <cstdlib>
#include <new>
#include <string>

#include <handset/loader.h>

#include "com_test_objects.h"
#include "test_server.h"

namespace {

using handset::testing::CountedFactory;
using handset::testing::CountedObject;

handset::testing::ServerCounts gCounts;

void note(const char* what)
{
    const char* before = std::getenv(kComTestServerCalls);
    std::string calls = before ? before : "";
    calls += what;
    ::setenv(kComTestServerCalls, calls.c_str(), 1);
}

class TestObject final : public CountedObject<IComTestObject, IID_IComTestObject> {
public:
    TestObject() : CountedObject(gCounts) {}
    LONG liveObjects() override { return gCounts.objects; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_ComTestServer))
        return CLASS_E_CLASSNOTAVAILABLE;
    const auto make = [] { return static_cast<IUnknown*>(new (std::nothrow) TestObject); };
    return handset::com::handOut(new (std::nothrow) CountedFactory(gCounts, make), riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return gCounts.canUnloadNow();
}

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    note(reason == DLL_PROCESS_ATTACH ? "A" : "D");
    return TRUE;
}

HANDSET_ORDINAL_EXPORTS({1, reinterpret_cast<FARPROC>(&DllCanUnloadNow)},
                        {2, reinterpret_cast<FARPROC>(&DllGetClassObject)});
