#include "run_program.h"

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace handset::testing {

void letSegfaultsKill()
{
    // Options given later override earlier ones; a build without the
    // sanitizer ignores the variable.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string changed = std::string(options && *options ? options : "") + ":handle_segv=0";
    ::setenv("ASAN_OPTIONS", changed.c_str(), 1);
}

std::string slurp(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Outcome runProgram(std::vector<std::string> arguments, const std::filesystem::path& scratch)
{
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::filesystem::path out = scratch / "out", err = scratch / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome run;
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << arguments[0];
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::string line;
            for (const std::string& a : arguments)
                line += " " + a;
            ADD_FAILURE() << "hung; killed:" << line;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

}  // namespace handset::testing
