// handset today: the user's finger and keys on the running Today screen.
//
//   handset today text                 refreshes, repaints, prints each item's text
//   handset today key left|right|up|down|action
//   handset today tap [ITEM]           ITEM: the registration's key name (default Tonquil)
//   handset today screenshot FILE.png  the screen as it is drawn now
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "../today/today_protocol.h"

namespace handset::cli {

namespace {

constexpr char kNotShown[] = "the Today screen is not running; run `handset boot`";

// Sends one request to the Today screen and prints what it answered.
int ask(const std::string& request)
{
    return askDeviceProgram(today::socketPath(), request + "\n", "the Today screen", kNotShown);
}

}  // namespace

void addTodayCommands(CLI::App& app)
{
    CLI::App* today = app.add_subcommand("today", "Use the Today screen: its items' text, keys, taps and screenshots.");
    today->require_subcommand(1);

    CLI::App* text = today->add_subcommand("text", "Refresh the Today items and print the text each one drew");
    onRun(text, NeedsDevice::Yes, [] { return ask("text"); });

    static std::string key;
    CLI::App* keyCommand = today->add_subcommand("key", "Press a navigation key on the selected item");
    keyCommand->add_option("KEY", key, "left, right, up, down or action")
        ->required()
        ->check(CLI::IsMember({"left", "right", "up", "down", "action"}));
    onRun(keyCommand, NeedsDevice::Yes, [] { return ask("key " + key); });

    static std::string item = "Tonquil";
    CLI::App* tap = today->add_subcommand("tap", "Tap an item (pen down, then up)");
    tap->add_option("ITEM", item, "the item's registration name")->capture_default_str();
    onRun(tap, NeedsDevice::Yes, [] { return ask("tap " + item); });

    static std::string file;
    CLI::App* screenshot = today->add_subcommand("screenshot", "Save the Today screen as a PNG picture");
    screenshot->add_option("FILE", file, "the PNG file to write")->required();
    onRun(screenshot, NeedsDevice::Yes, [] {
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::absolute(file, ec);
        if (ec || file.empty())
            return usage("cannot use the file name " + file);
        return ask("screenshot " + target.string());
    });
}

}  // namespace handset::cli
