// Running a program of the project as a real process from a test, as users
// and scripts run it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace handset::testing {

struct Outcome {
    int status = -1;  // the exit status; 128 + the signal for a killed program
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] the program's path) with no standard input and its
// output captured in files inside `scratch`, and waits for it. A program
// still running after a minute is killed and reported as a test failure (a
// guard against a hung test, not a measure of time).
Outcome runProgram(std::vector<std::string> argv, const std::filesystem::path& scratch);

// Lets a SIGSEGV sent to a program started from now on end it as a crash
// does: the sanitizer build would otherwise catch the signal, report it and
// abort, so the program would die of SIGABRT instead. For tests that crash a
// program on purpose.
void letSegfaultsKill();

// The whole content of a file; empty when it cannot be read.
std::string slurp(const std::filesystem::path& file);

}  // namespace handset::testing
