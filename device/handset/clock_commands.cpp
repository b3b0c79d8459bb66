// handset clock: the device clock, so that schedules can be tried at any
// time of day.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/clock.h>

#include "commands.h"

namespace handset::cli {

namespace {

// "7:05" or "07:05".
bool parseTimeOfDay(const std::string& text, int& hour, int& minute)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9'))
            return false;
    }
    hour = std::stoi(text.substr(0, colon));
    minute = std::stoi(text.substr(colon + 1));
    return hour <= 23 && minute <= 59;
}

}  // namespace

void addClockCommands(CLI::App& app)
{
    CLI::App* clock = app.add_subcommand("clock", "Set or show the device clock.");
    clock->require_subcommand(1);

    CLI::App* set = clock->add_subcommand(
        "set", "From now on the device's local time runs from HH:MM:00 today, for every program of the device.");
    auto time = std::make_shared<std::string>();
    set->add_option("HH:MM", *time, "the time of day, 00:00 to 23:59")->required();
    onRun(set, NeedsDevice::Yes, [time] {
        int hour = 0;
        int minute = 0;
        if (!parseTimeOfDay(*time, hour, minute))
            return usage("not a time of day: " + *time + " (give HH:MM, 00:00 to 23:59)");
        if (!setClockTimeOfDay(hour, minute))
            return fail("cannot set the device clock");
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
        logChange(std::string("clock set to ") + text);
        return 0;
    });

    CLI::App* rate = clock->add_subcommand(
        "rate", "From now on the device clock runs RATE times as fast as the host's (1 is the host's pace), "
                "going on from the time it shows; rings and their rounds follow it.");
    auto pace = std::make_shared<double>(1.0);
    rate->add_option("RATE", *pace, "device seconds per host second, 0.01 to 1000")->required();
    onRun(rate, NeedsDevice::Yes, [pace] {
        if (!setClockRate(*pace))
            return usage("not a clock rate: " + std::to_string(*pace) + " (give 0.01 to 1000)");
        logChange("clock rate set to " + std::to_string(*pace));
        return 0;
    });

    CLI::App* reset = clock->add_subcommand(
        "reset", "Make the device clock follow the host's local time again, at the host's pace.");
    onRun(reset, NeedsDevice::Yes, [] {
        if (!resetClock())
            return fail("cannot reset the device clock");
        logChange("clock reset to the host's time");
        return 0;
    });

    CLI::App* show = clock->add_subcommand("show", "Print the device's local date and time (YYYY-MM-DD HH:MM:SS).");
    onRun(show, NeedsDevice::Yes, [] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char text[64];
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute, now.wSecond);
        std::cout << text << '\n';
        return 0;
    });
}

}  // namespace handset::cli
