#include "backup_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>

#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/wstring.h>

namespace tonquil::backup {
namespace {

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

std::string libraryMessage(archive* a)
{
    const char* text = archive_error_string(a);
    return text ? text : "unknown error";
}

std::string memberName(archive_entry* entry)
{
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name)
        name = archive_entry_pathname(entry);
    return name ? name : "";
}

// Reads one member's data, at most `limit` bytes; nothing when it is
// larger or cannot be read.
std::optional<std::string> readMember(archive* a, std::uint64_t limit, std::string& error, const std::string& name)
{
    std::string data;
    char chunk[64 * 1024];
    while (true) {
        const la_ssize_t n = archive_read_data(a, chunk, sizeof chunk);
        if (n == 0)
            return data;
        if (n < 0) {
            error = "it is damaged or cut short (" + libraryMessage(a) + ")";
            return std::nullopt;
        }
        if (data.size() + static_cast<std::size_t>(n) > limit) {
            error = "its member \"" + name + "\" is larger than " + std::to_string(limit >> 20) + " MB";
            return std::nullopt;
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
}

// Why the library could not go on at the start of an archive: a format it
// does not know is another kind of file; anything else (a gzip stream that
// ends early or fails its check) is a backup that was damaged or cut short.
// libarchive gives EILSEQ (its ARCHIVE_ERRNO_FILE_FORMAT on this system)
// for a format it does not know.
std::string unreadableStart(archive* a)
{
    if (archive_errno(a) == EILSEQ)
        return "it is not a Tonquil settings backup (" + libraryMessage(a) + ")";
    return "it is damaged or cut short (" + libraryMessage(a) + ")";
}

}  // namespace

ReadBackupResult readBackupArchive(std::string_view bytes)
{
    ReadBackupResult result;
    auto refuse = [&](std::string why) {
        result.contents.reset();
        result.error = std::move(why);
        return std::move(result);
    };
    if (bytes.size() > kMaxArchiveBytes)
        return refuse("it is larger than " + std::to_string(kMaxArchiveBytes >> 20) + " MB");

    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK)
        return refuse(unreadableStart(reader.get()));

    BackupContents contents;
    std::map<std::string, std::size_t> expected;  // member -> index of its tone file
    std::vector<bool> found;
    std::uint64_t total = 0;
    for (std::size_t members = 0;; ++members) {
        archive_entry* entry = nullptr;
        const int rc = archive_read_next_header(reader.get(), &entry);
        if (rc == ARCHIVE_EOF) {
            if (members == 0)
                return refuse("it is not a Tonquil settings backup (it is empty)");
            break;
        }
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
            if (members == 0)
                return refuse(unreadableStart(reader.get()));
            return refuse("it is damaged or cut short (" + libraryMessage(reader.get()) + ")");
        }
        if (members + 1 > kMaxMembers)
            return refuse("it holds more than " + std::to_string(kMaxMembers) + " members (the manifest and " +
                          std::to_string(kMaxMembers - 1) + " tone files)");
        const std::string name = memberName(entry);
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) ||
            archive_entry_filetype(entry) == AE_IFLNK)
            return refuse("its member \"" + name + "\" is a link, which a backup never holds");
        if (archive_entry_filetype(entry) != AE_IFREG)
            return refuse("its member \"" + name + "\" is not a plain file");
        if (!safeMemberName(name))
            return refuse("its member \"" + name + "\" has an absolute name or one that climbs out with \"..\"");

        if (members == 0) {
            if (name != kManifestMember)
                return refuse("it is not a Tonquil settings backup (it starts with \"" + name + "\", not \"" +
                              kManifestMember + "\")");
            std::string error;
            const std::optional<std::string> json = readMember(reader.get(), kMaxManifestBytes, error, name);
            if (!json)
                return refuse(error);
            ManifestResult parsed = parseManifest(*json);
            if (!parsed.ok())
                return refuse(parsed.error);
            contents.manifest = std::move(*parsed.manifest);
            for (std::size_t i = 0; i < contents.manifest.toneFiles.size(); ++i)
                expected.emplace(contents.manifest.toneFiles[i].member, i);
            found.assign(contents.manifest.toneFiles.size(), false);
            contents.toneData.assign(contents.manifest.toneFiles.size(), {});
            continue;
        }
        const auto listed = expected.find(name);
        if (listed == expected.end())
            return refuse("its member \"" + name + "\" is not listed in its manifest");
        if (found[listed->second])
            return refuse("its member \"" + name + "\" appears twice");
        const ToneFile& file = contents.manifest.toneFiles[listed->second];
        if (archive_entry_size_is_set(entry) && static_cast<std::uint64_t>(archive_entry_size(entry)) != file.size)
            return refuse("its member \"" + name + "\" does not have the size its manifest gives");
        std::string error;
        std::optional<std::string> data = readMember(reader.get(), kMaxToneFileBytes, error, name);
        if (!data)
            return refuse(error);
        if (data->size() != file.size)
            return refuse("its member \"" + name + "\" does not have the size its manifest gives");
        total += data->size();
        if (total > kMaxToneBytes)
            return refuse("its tone files hold more than " + std::to_string(kMaxToneBytes >> 20) + " MB");
        found[listed->second] = true;
        contents.toneData[listed->second] = std::move(*data);
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        if (!found[i])
            return refuse("it is cut short: the tone file \"" + contents.manifest.toneFiles[i].member +
                          "\" its manifest lists is missing");
    result.contents = std::move(contents);
    return result;
}

ReadBackupResult readBackupFile(std::u16string_view devicePath)
{
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec))
        return {std::nullopt, "the file cannot be found"};
    const std::uintmax_t size = std::filesystem::file_size(*host, ec);
    if (ec)
        return {std::nullopt, "the file cannot be read"};
    if (size > kMaxArchiveBytes)
        return {std::nullopt, "it is larger than " + std::to_string(kMaxArchiveBytes >> 20) + " MB"};
    const std::optional<std::string> bytes = handset::readHostFile(*host);
    if (!bytes)
        return {std::nullopt, "the file cannot be read"};
    return readBackupArchive(*bytes);
}

bool writeBackupFile(std::u16string_view devicePath, const Manifest& manifest,
                     const std::vector<std::string>& toneData, std::string& error)
{
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(host->parent_path(), ec)) {
        error = "its folder does not exist";
        return false;
    }
    const std::filesystem::path temporary =
        host->parent_path() / ("." + host->filename().string() + ".partial-" + std::to_string(getpid()));

    const std::string json = writeManifest(manifest);
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_new());
    archive* a = writer.get();
    bool ok = archive_write_add_filter_gzip(a) == ARCHIVE_OK && archive_write_set_format_pax_restricted(a) == ARCHIVE_OK &&
              archive_write_open_filename(a, temporary.c_str()) == ARCHIVE_OK;
    const std::time_t now = std::time(nullptr);
    auto add = [&](const std::string& name, std::string_view data) {
        if (!ok)
            return;
        std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(data.size()));
        archive_entry_set_mtime(entry.get(), now, 0);
        ok = archive_write_header(a, entry.get()) == ARCHIVE_OK &&
             (data.empty() || archive_write_data(a, data.data(), data.size()) == static_cast<la_ssize_t>(data.size()));
    };
    add(kManifestMember, json);
    for (std::size_t i = 0; i < manifest.toneFiles.size() && i < toneData.size(); ++i)
        add(manifest.toneFiles[i].member, toneData[i]);
    if (!ok)
        error = libraryMessage(a);
    if (archive_write_close(a) != ARCHIVE_OK && ok) {
        ok = false;
        error = libraryMessage(a);
    }
    writer.reset();

    // On disk before the name is given to it, so that the name never holds
    // less than a whole backup.
    if (ok) {
        const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
        ok = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!ok)
            error = "it could not be written to the storage";
    }
    if (ok) {
        std::filesystem::rename(temporary, *host, ec);
        if (ec) {
            ok = false;
            error = ec.message();
        }
    }
    if (!ok)
        std::filesystem::remove(temporary, ec);
    return ok;
}

}  // namespace tonquil::backup
