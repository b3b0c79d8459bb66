// handset run: starts a program of the device as the phone's shell does.
//
//   handset run [--wait] "DEVICE PATH" [ARG ...]
//
// The arguments after the path, joined by single spaces, are the program's
// command line, verbatim; the program runs in this command's environment.
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <handset/errors.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "commands.h"

namespace handset::cli {

namespace {

struct RunArguments {
    bool wait = false;
    std::string path;
    std::vector<std::string> arguments;
};

std::string reasonFor(DWORD error)
{
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return "not a path of the device";
    case ERROR_FILE_NOT_FOUND:
        return "no such program";
    case ERROR_ACCESS_DENIED:
        return "not an executable program";
    case ERROR_BAD_EXE_FORMAT:
        return "not a program of this host";
    default:
        return "error " + std::to_string(error);
    }
}

int runProgram(const RunArguments& run)
{
    std::string commandLine;
    for (std::size_t i = 0; i < run.arguments.size(); ++i) {
        if (i > 0)
            commandLine += ' ';
        commandLine += run.arguments[i];
    }
    const std::u16string image = fromUtf8(run.path);
    const std::u16string line = fromUtf8(commandLine);
    PROCESS_INFORMATION process{};
    if (!CreateProcess(image.c_str(), line.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                       &process))
        return fail("cannot start " + run.path + ": " + reasonFor(GetLastError()));
    DWORD exitCode = 0;
    if (run.wait) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

}  // namespace

void addRunCommand(CLI::App& app)
{
    CLI::App* run = app.add_subcommand(
        "run", "Start a program of the device as the phone's shell does: the arguments after its device path, "
               "joined by single spaces, are its command line, passed on verbatim.");
    auto arguments = std::make_shared<RunArguments>();
    run->add_flag("--wait", arguments->wait, "wait for the program to end and exit with its exit code");
    run->add_option("path", arguments->path, "the program's device path, e.g. \"\\Program Files\\Tonquil\\plimsey.exe\"")
        ->type_name("\"DEVICE PATH\"")
        ->required();
    run->add_option("args", arguments->arguments, "the words of its command line, taken as they are")
        ->type_name("ARG");
    // Everything after the path belongs to the program, options included.
    run->positionals_at_end();
    onRun(run, NeedsDevice::Yes, [arguments] { return runProgram(*arguments); });
}

}  // namespace handset::cli
