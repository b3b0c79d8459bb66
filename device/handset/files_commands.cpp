// handset files: the phone's own files, as a person copies them over a cable.
//
//   handset files ls [DEVICE-PATH]                  default: the root, "\"
//   handset files put HOST-FILE DEVICE-PATH [--force]
//   handset files get DEVICE-PATH HOST-FILE [--force]
//   handset files rm DEVICE-PATH
//
// Device paths go through the platform's mapping, so none reaches outside
// the device's file system. A copy is written beside its target and renamed
// into place, so the target is the whole file or untouched; an existing file
// is replaced only with --force. A target that is a folder receives the file
// under the source's name; missing folders of a target on the device are made.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <handset/device.h>
#include <handset/wstring.h>

#include "commands.h"

namespace handset::cli {

namespace {

namespace fs = std::filesystem;

std::string describeError(int error)
{
    return std::strerror(error);
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes `target` whole or not at all: `fill` writes a temporary file in the
// same folder, which then takes the target's name.
std::string placeWhole(const fs::path& target, Replace replace, const std::function<bool(int fd)>& fill)
{
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return "cannot write in " + target.parent_path().string() + ": " + describeError(errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool written = ::fchmod(fd, 0666 & ~mask) == 0 && fill(fd) && ::fsync(fd) == 0;
    const int error = errno;
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(temporary.c_str());
        return "cannot write " + target.string() + ": " + describeError(error);
    }
    int rc = 0;
    if (replace == Replace::Yes) {
        rc = ::rename(temporary.c_str(), target.c_str());
    } else {
        rc = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL)  // a file system without it: a link fails on an existing name too
            rc = ::link(temporary.c_str(), target.c_str());
    }
    const int renameError = errno;
    ::unlink(temporary.c_str());
    if (rc != 0) {
        if (renameError == EEXIST)
            return target.string() + " exists; give --force to replace it";
        return "cannot write " + target.string() + ": " + describeError(renameError);
    }
    return {};
}

// Copies a file whole or not at all; an error message, empty on success.
std::string copyWhole(const fs::path& from, const fs::path& to, Replace replace)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "cannot read " + from.string() + ": " + describeError(errno);
    const std::string problem = placeWhole(to, replace, [in](int out) {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            if (!writeAll(out, buffer, static_cast<std::size_t>(n)))
                return false;
        }
    });
    ::close(in);
    return problem;
}

// The host place of a device path, or an error message in `problem`.
std::optional<fs::path> mapped(const std::string& devicePath, std::string& problem)
{
    if (devicePath.empty() || devicePath[0] != '\\') {
        problem = "a device path starts with \\ (\"\\My Documents\\Bell.wav\"), not " + devicePath;
        return std::nullopt;
    }
    auto place = mapDevicePath(fromUtf8(devicePath));
    if (!place)
        problem = "the device path " + devicePath + " leads outside the device's file system";
    return place;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder + (folder.back() == '\\' ? "" : "\\") + name;
}

struct Entry {
    std::string name;
    bool folder;
    std::uintmax_t size;
};

int list(const std::string& devicePath)
{
    std::string problem;
    const auto place = mapped(devicePath, problem);
    if (!place)
        return fail(problem);
    std::error_code ec;
    const fs::file_status status = fs::status(*place, ec);
    if (!fs::exists(status))
        return fail("no file or folder " + devicePath + " on the device");
    std::vector<Entry> entries;
    if (fs::is_directory(status)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(*place, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 8 && name[0] == '.' && name[name.size() - 7] == '.')
                continue;  // a copy being written (".NAME.XXXXXX")
            const bool folder = entry.is_directory(ec);
            entries.push_back({name, folder, folder ? 0 : entry.file_size(ec)});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return foldCase(fromUtf8(a.name)) < foldCase(fromUtf8(b.name));
        });
    } else {
        entries.push_back({place->filename().string(), false, fs::file_size(*place, ec)});
    }
    for (const Entry& e : entries) {
        char size[32];
        std::snprintf(size, sizeof size, "%12ju", e.size);
        std::cout << (e.folder ? std::string("       <DIR>") : std::string(size)) << "  " << e.name
                  << (e.folder ? "\\" : "") << '\n';
    }
    return 0;
}

int put(const std::string& hostFile, std::string devicePath, bool force)
{
    std::error_code ec;
    if (!fs::is_regular_file(hostFile, ec))
        return fail("no file " + hostFile + " to copy");
    std::string problem;
    auto place = mapped(devicePath, problem);
    if (!place)
        return fail(problem);
    if (devicePath.back() == '\\' || fs::is_directory(*place, ec)) {
        devicePath = joined(devicePath, fs::path(hostFile).filename().string());
        if (!(place = mapped(devicePath, problem)))
            return fail(problem);
    }
    // Missing folders are made, as a copy over the cable makes them.
    if (!fs::is_directory(place->parent_path(), ec) && !fs::create_directories(place->parent_path(), ec))
        return fail("cannot make the folder of " + devicePath + " on the device: " + ec.message());
    if (fs::is_directory(*place, ec))
        return fail(devicePath + " is a folder");
    problem = copyWhole(hostFile, *place, force ? Replace::Yes : Replace::No);
    if (!problem.empty()) {
        if (problem.find("give --force") != std::string::npos)
            return fail(devicePath + " exists on the device; give --force to replace it");
        return fail(problem);
    }
    logChange("files: put " + devicePath);
    return 0;
}

int get(const std::string& devicePath, std::string hostFile, bool force)
{
    std::string problem;
    const auto place = mapped(devicePath, problem);
    if (!place)
        return fail(problem);
    std::error_code ec;
    if (!fs::is_regular_file(*place, ec))
        return fail("no file " + devicePath + " on the device");
    fs::path target = fs::absolute(hostFile, ec);
    if (fs::is_directory(target, ec))
        target /= place->filename();
    problem = copyWhole(*place, target, force ? Replace::Yes : Replace::No);
    return problem.empty() ? 0 : fail(problem);
}

int remove(const std::string& devicePath)
{
    std::string problem;
    const auto place = mapped(devicePath, problem);
    if (!place)
        return fail(problem);
    std::error_code ec;
    if (fs::equivalent(*place, deviceFileSystem(), ec))
        return fail("the root of the device's file system cannot be removed");
    if (!fs::exists(fs::symlink_status(*place, ec)))
        return fail("no file or folder " + devicePath + " on the device");
    if (fs::is_directory(fs::symlink_status(*place, ec)) && !fs::is_empty(*place, ec))
        return fail("the folder " + devicePath + " is not empty");
    if (!fs::remove(*place, ec))
        return fail("cannot remove " + devicePath + ": " + ec.message());
    logChange("files: removed " + devicePath);
    return 0;
}

}  // namespace

std::string writeWholeFile(const fs::path& target, std::string_view bytes, Replace replace)
{
    return placeWhole(target, replace, [bytes](int fd) { return writeAll(fd, bytes.data(), bytes.size()); });
}

void addFilesCommands(CLI::App& app)
{
    CLI::App* files = app.add_subcommand("files", "List, copy onto, copy from and remove the phone's files "
                                                  "(device paths such as \"\\My Documents\\My Ringtones\\Bell.mp3\")");
    files->require_subcommand(1);

    static std::string lsPath = "\\";
    CLI::App* ls = files->add_subcommand("ls", "List a folder of the device (sizes in bytes), or one file");
    ls->add_option("DEVICE-PATH", lsPath, "the folder or file")->capture_default_str();
    onRun(ls, NeedsDevice::Yes, [] { return list(lsPath); });

    static std::string from, to;
    static bool force = false;
    CLI::App* putCommand = files->add_subcommand("put", "Copy a file of this computer onto the device");
    putCommand->add_option("HOST-FILE", from, "the file to copy")->required();
    putCommand->add_option("DEVICE-PATH", to, "the file to write, or a folder to write it into")->required();
    putCommand->add_flag("--force", force, "replace a file of the same name");
    onRun(putCommand, NeedsDevice::Yes, [] { return put(from, to, force); });

    CLI::App* getCommand = files->add_subcommand("get", "Copy a file of the device onto this computer");
    getCommand->add_option("DEVICE-PATH", from, "the file to copy")->required();
    getCommand->add_option("HOST-FILE", to, "the file to write, or a folder to write it into")->required();
    getCommand->add_flag("--force", force, "replace a file of the same name");
    onRun(getCommand, NeedsDevice::Yes, [] { return get(from, to, force); });

    static std::string gone;
    CLI::App* rm = files->add_subcommand("rm", "Remove a file or an empty folder of the device");
    rm->add_option("DEVICE-PATH", gone, "the file or folder")->required();
    onRun(rm, NeedsDevice::Yes, [] { return remove(gone); });
}

}  // namespace handset::cli
