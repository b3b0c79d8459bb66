// handset today: the user's finger and keys on the running Today screen.
//
//   handset today text                 refreshes, repaints, prints each item's text
//   handset today key left|right|up|down|action
//   handset today tap [ITEM]           ITEM: the registration's key name (default Tonquil)
//   handset today screenshot FILE.png  the screen as it is drawn now
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "../today/today_protocol.h"

namespace handset::cli {

namespace {

constexpr char kNotShown[] = "the Today screen is not running; run `handset boot`";

// Sends one request to the Today screen and prints what it answered.
int ask(const std::string& request)
{
    const std::string path = today::socketPath().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return fail("the device's path is too long for the Today screen's socket");
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return fail(kNotShown);
    }
    const std::string line = request + "\n";
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        ::close(fd);
        return fail(kNotShown);
    }
    std::string reply;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    const std::size_t end = reply.find('\n');
    const std::string status = reply.substr(0, end);
    if (status.rfind("error ", 0) == 0)
        return fail(status.substr(6));
    if (status != "ok")
        return fail("the Today screen gave no answer; see `handset log`");
    if (end != std::string::npos)
        std::cout << reply.substr(end + 1);
    return 0;
}

}  // namespace

void addTodayCommands(CLI::App& app)
{
    CLI::App* today = app.add_subcommand("today", "Use the Today screen: its items' text, keys, taps, screenshots");
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
