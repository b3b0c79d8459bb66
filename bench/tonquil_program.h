// Starting the built Tonquil.exe from a benchmark, as the start-up
// benchmarks do: the program lies beside the benchmark in the build tree's
// bin/, and is started with the empty command line the phone gives it.
#pragma once

#include <filesystem>
#include <string>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {

inline std::string tonquilPath()
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path() / "Tonquil.exe").string();
}

// Runs the program to its end; its exit status, -1 when it did not start or
// did not exit.
inline int runOnce(const std::string& program)
{
    std::string path = program;
    std::string line;
    char* argv[] = {path.data(), line.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace bench
