// The command groups of `handset`. Each group lives in its own source file
// and adds its subcommands to the application in an add...Commands function,
// which main.cpp calls; a new group needs one more declaration here and one
// more call there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace handset::cli {

void addInitCommand(CLI::App& app);
void addRegCommands(CLI::App& app);
void addClockCommands(CLI::App& app);
void addLogCommand(CLI::App& app);
void addRunCommand(CLI::App& app);
void addContactsCommands(CLI::App& app);
void addLifeCommands(CLI::App& app);
void addCallCommand(CLI::App& app);
void addTodayCommands(CLI::App& app);
void addSmsCommand(CLI::App& app);
void addInstallCommands(CLI::App& app);
void addScreenCommands(CLI::App& app);
void addInputCommands(CLI::App& app);
void addFilesCommands(CLI::App& app);

// Whether a command works on an existing device (all but `init` do).
enum class NeedsDevice { Yes, No };

// Makes `action` what runs when `command` is the one chosen on the command
// line. It runs after the whole line has been parsed and the device chosen;
// its result is the exit status.
void onRun(CLI::App* command, NeedsDevice needsDevice, std::function<int()> action);

// Runs the chosen command on the device at `root`: refuses with status 1
// when the command needs a device and there is none.
int runChosenCommand(const std::filesystem::path& root);

// Reports an error on stderr; returns the exit status for errors, 1.
int fail(std::string_view message);

// Reports a command-line argument that does not fit its command (found
// only once the command runs); returns the exit status for usage errors, 2.
int usage(std::string_view message);

// Sends `request`, as it stands, to a program of the running device over its
// socket in run/, and waits until the program closes. It answers "ok"
// and a body, which is printed, or "error REASON", which is reported. A
// program that cannot be reached is reported as `unreachable`; `program`
// names it in the other messages ("the Today screen"). Returns the exit status.
int askDeviceProgram(const std::filesystem::path& socket, std::string_view request, std::string_view program,
                     std::string_view unreachable);

// Sends the request's words to the program with windows in front (the one
// that showed a form last) or, when `program` is not empty, to that program
// (a file name such as Tonquil.exe), and waits at most kAnswerSeconds. On
// "ok" fills `result` and returns 0; else reports the error and returns 1.
int askProgramWithWindows(std::string_view program, const std::vector<std::string>& words, std::string& result);

// Whether a file written whole may take the place of an existing one.
enum class Replace { Yes, No };

// Writes a host file whole or not at all (a temporary file beside it, then
// renamed); an error message, empty on success.
std::string writeWholeFile(const std::filesystem::path& target, std::string_view bytes, Replace replace);

// Where the device log ends now, and the texts of the lines on `channel`
// logged from there on: how a command finds what the device logged while
// it worked.
std::uintmax_t logEnd();
std::vector<std::string> loggedSince(std::uintmax_t start, std::string_view channel);

// Notes a change made to the device in its log, as every command that
// changes the device does.
void logChange(std::string_view what);

}  // namespace handset::cli
