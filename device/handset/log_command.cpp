// handset log: the device log, whole or one channel of it, optionally
// followed as it grows.
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <handset/log.h>

#include "commands.h"

namespace handset::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int)
{
    interrupted = 1;
}

// The channel of a line "YYYY-MM-DDTHH:MM:SS.mmm program[pid] channel: text".
std::optional<std::string_view> channelOf(std::string_view line)
{
    const std::size_t stamp = line.find(' ');
    if (stamp == std::string_view::npos)
        return std::nullopt;
    const std::size_t program = line.find("] ", stamp + 1);
    if (program == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = program + 2;
    const std::size_t end = line.find(": ", start);
    if (end == std::string_view::npos)
        return std::nullopt;
    return line.substr(start, end - start);
}

class LogPrinter {
public:
    explicit LogPrinter(std::optional<std::string> channel) : channel_(std::move(channel)) {}
    ~LogPrinter()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LogPrinter(const LogPrinter&) = delete;
    LogPrinter& operator=(const LogPrinter&) = delete;

    // Prints what the log holds beyond what was printed already; a line
    // still being written waits for its end unless `flushPartial`.
    void printNew(bool flushPartial)
    {
        reopenIfReplaced();
        if (fd_ < 0)
            return;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            pending_.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1)
                printLine(std::string_view(pending_).substr(start, end - start));
            pending_.erase(0, start);
        }
        if (flushPartial && !pending_.empty()) {
            printLine(pending_);
            pending_.clear();
        }
        std::cout.flush();
    }

private:
    void printLine(std::string_view line)
    {
        if (channel_ && channelOf(line) != std::string_view(*channel_))
            return;
        std::cout << line << '\n';
    }

    // A new device (`handset init --force`) starts a new log file; a
    // truncated one starts again from its beginning.
    void reopenIfReplaced()
    {
        const std::string path = deviceLogPath().string();
        struct stat onDisk {};
        if (::stat(path.c_str(), &onDisk) != 0)
            return;
        struct stat held {};
        if (fd_ >= 0 && ::fstat(fd_, &held) == 0 && held.st_ino == onDisk.st_ino && held.st_dev == onDisk.st_dev) {
            const off_t position = ::lseek(fd_, 0, SEEK_CUR);
            if (onDisk.st_size >= position)
                return;
            ::lseek(fd_, 0, SEEK_SET);
            pending_.clear();
            return;
        }
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        pending_.clear();
    }

    std::optional<std::string> channel_;
    int fd_ = -1;
    std::string pending_;
};

struct LogArguments {
    std::string channel;
    bool follow = false;
};

int showLog(const LogArguments& arguments, bool channelGiven)
{
    LogPrinter printer(channelGiven ? std::optional<std::string>(arguments.channel) : std::nullopt);
    if (!arguments.follow) {
        printer.printNew(true);
        return 0;
    }

    // Ctrl-C (or a kill) ends following; the handler only notes it, so the
    // loop finishes the output cleanly and the exit status is 0.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    while (!interrupted) {
        printer.printNew(false);
        timespec pause{0, 200'000'000};
        nanosleep(&pause, nullptr);
    }
    printer.printNew(true);
    return 0;
}

}  // namespace

std::uintmax_t logEnd()
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(deviceLogPath(), error);
    return error ? 0 : size;
}

std::vector<std::string> loggedSince(std::uintmax_t start, std::string_view channel)
{
    std::vector<std::string> texts;
    std::ifstream in(deviceLogPath(), std::ios::binary);
    // A log started anew meanwhile (`handset init --force`) is read whole.
    if (logEnd() >= start)
        in.seekg(static_cast<std::streamoff>(start));
    for (std::string line; std::getline(in, line);) {
        if (channelOf(line) != channel)
            continue;
        const std::size_t text = line.find(": ", line.find("] ") + 2);
        texts.push_back(line.substr(text + 2));
    }
    return texts;
}

void addLogCommand(CLI::App& app)
{
    CLI::App* log = app.add_subcommand("log", "Print the device log.");
    auto arguments = std::make_shared<LogArguments>();
    CLI::Option* channel =
        log->add_option("--channel", arguments->channel, "only the lines of this channel (the word before the first \": \")")
            ->type_name("NAME");
    log->add_flag("--follow,-f", arguments->follow, "keep printing new lines as they are written, until interrupted");
    onRun(log, NeedsDevice::Yes, [arguments, channel] { return showLog(*arguments, channel->count() > 0); });
}

}  // namespace handset::cli
