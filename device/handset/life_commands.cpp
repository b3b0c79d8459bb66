// handset boot, handset shutdown, handset status: the device's life as a set
// of running programs.
#include <algorithm>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/device.h>
#include <handset/lifecycle.h>

#include "commands.h"

namespace handset::cli {

namespace {

std::string listed(const std::vector<lifecycle::RunningProgram>& programs)
{
    std::string text;
    for (const auto& program : programs)
        text += (text.empty() ? "" : ", ") + program.name + " (pid " + std::to_string(program.pid) + ")";
    return text;
}

int boot()
{
    const lifecycle::BootResult result = lifecycle::boot();
    if (!result.ok())
        return fail("cannot boot the device: " + result.error);
    if (result.started.empty()) {
        std::cout << "the device is already running\n";
        return 0;
    }
    logChange("booted the device: " + listed(result.started));
    std::cout << "booted the device at " << deviceRoot().string() << ": " << listed(result.started) << '\n';
    return 0;
}

int shutdown()
{
    const lifecycle::ShutdownResult result = lifecycle::shutdown();
    if (result.stopped.empty() && result.killed.empty()) {
        std::cout << "the device is not running\n";
        return 0;
    }
    std::string text;
    if (!result.stopped.empty())
        text = "stopped " + listed(result.stopped);
    if (!result.killed.empty())
        text += (text.empty() ? "killed " : "; killed ") + listed(result.killed);
    logChange("shut the device down: " + text);
    std::cout << "shut the device down: " << text << '\n';
    return 0;
}

int status()
{
    const std::vector<lifecycle::RunningProgram> running = lifecycle::runningPrograms();
    std::cout << (lifecycle::isRunning() ? "the device is running\n" : "the device is not running\n");
    for (const lifecycle::ResidentProgram& resident : lifecycle::residentPrograms()) {
        const auto it = std::find_if(running.begin(), running.end(), [&](const lifecycle::RunningProgram& p) {
            return p.resident && p.name == resident.name;
        });
        if (it != running.end())
            std::cout << resident.name << ": running (pid " << it->pid << ")\n";
        else
            std::cout << resident.name << ": not running\n";
    }
    // Everything else the device started that still runs.
    for (const lifecycle::RunningProgram& program : running) {
        const bool listedAbove =
            program.resident && std::any_of(lifecycle::residentPrograms().begin(), lifecycle::residentPrograms().end(),
                                             [&](const lifecycle::ResidentProgram& r) { return r.name == program.name; });
        if (!listedAbove)
            std::cout << program.name << ": running (pid " << program.pid << ")\n";
    }
    return 0;
}

}  // namespace

void addLifeCommands(CLI::App& app)
{
    CLI::App* bootCommand = app.add_subcommand(
        "boot", "Start the device's resident programs in the background (the radio, ...); returns once they are "
                "ready.");
    onRun(bootCommand, NeedsDevice::Yes, boot);

    CLI::App* shutdownCommand =
        app.add_subcommand("shutdown", "Stop every program the device started, the resident ones last.");
    onRun(shutdownCommand, NeedsDevice::Yes, shutdown);

    CLI::App* statusCommand =
        app.add_subcommand("status", "Tell whether the device is running and which of its programs run.");
    onRun(statusCommand, NeedsDevice::Yes, status);
}

}  // namespace handset::cli
