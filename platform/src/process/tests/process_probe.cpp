// A device program for the process tests: writes what it was started with
// to the file named by $PROBE_OUT (the command line, in UTF-8, exactly, and
// beside it in ".fds" the descriptors it holds open), waits while the file
// named by $PROBE_HOLD exists, and exits with the number in $PROBE_EXIT.
#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <handset/process.h>
#include <handset/wstring.h>

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd)
{
    if (const char* out = std::getenv("PROBE_OUT")) {
        // Before anything of its own is opened.
        std::string fds;
        if (DIR* folder = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(folder))
                if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(folder))
                    fds += std::string(fds.empty() ? "" : " ") + entry->d_name;
            ::closedir(folder);
        }
        std::ofstream(std::string(out) + ".fds") << fds;
        std::ofstream file(out, std::ios::binary);
        file << handset::toUtf8(lpCmdLine);
        std::ofstream(std::string(out) + ".args") << (hInstance != nullptr) << ' ' << (hPrevInstance == nullptr)
                                                  << ' ' << nShowCmd;
    }
    if (const char* hold = std::getenv("PROBE_HOLD")) {
        // Bounded, so that a failed test never leaves the probe behind.
        for (int i = 0; i < 3000 && std::filesystem::exists(hold); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const char* code = std::getenv("PROBE_EXIT");
    return code ? std::atoi(code) : 0;
}
