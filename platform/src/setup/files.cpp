// Files of the device on the host's file system below fs/.
#include <handset/files.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include <handset/device.h>
#include <handset/wstring.h>

#include "core/win32_error.h"

namespace fs = std::filesystem;

namespace {

using handset::detail::failWith;
using handset::detail::win32Error;

std::u16string_view viewOf(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

// The host path of a device path, or nothing (ERROR_PATH_NOT_FOUND set).
std::optional<fs::path> mapped(LPCWSTR devicePath)
{
    std::optional<fs::path> path = handset::mapDevicePath(viewOf(devicePath));
    if (!path)
        SetLastError(ERROR_PATH_NOT_FOUND);
    return path;
}

bool isFolder(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool present(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The code for a path where nothing is: the name is missing from a folder
// that exists, or the folder itself is.
DWORD missingCode(const fs::path& path)
{
    return isFolder(path.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// '*' and '?' against a name, both case-folded.
bool matches(std::u16string_view pattern, std::u16string_view name)
{
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// 100-nanosecond intervals since 1601-01-01, as the phone counts file times.
FILETIME fileTime(fs::file_time_type when)
{
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(
        fs::file_time_type::clock::to_sys(when).time_since_epoch());
    const std::uint64_t ticks = static_cast<std::uint64_t>(sinceEpoch.count() / 100) + 116444736000000000ULL;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

DWORD attributesOf(const fs::path& path)
{
    if (isFolder(path))
        return FILE_ATTRIBUTE_DIRECTORY;
    return ::access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// Removes the partial copy of a CopyFile that failed with `error`.
BOOL dropPartial(const fs::path& partial, DWORD error)
{
    std::error_code ignored;
    fs::remove(partial, ignored);
    return failWith(error, FALSE);
}

struct FoundEntry {
    std::u16string name;
    fs::path path;
};

struct FindState {
    std::vector<FoundEntry> entries;
    std::size_t next = 0;
};

// Enumerations in progress; a handle is the address of its state.
std::mutex findMutex;
std::set<FindState*> findStates;

void fill(const FoundEntry& entry, WIN32_FIND_DATA& data)
{
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = attributesOf(entry.path);
    std::error_code ec;
    const fs::file_time_type written = fs::last_write_time(entry.path, ec);
    if (!ec)
        data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = fileTime(written);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::uintmax_t size = fs::file_size(entry.path, ec);
        if (!ec) {
            data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
        }
    }
    // Names longer than the field are cut, as the phone never stores them.
    const std::size_t length = std::min<std::size_t>(entry.name.size(), std::size(data.cFileName) - 1);
    std::copy_n(entry.name.data(), length, data.cFileName);
    data.cFileName[length] = 0;
}

}  // namespace

BOOL CreateDirectory(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES)
{
    const std::optional<fs::path> path = mapped(lpPathName);
    if (!path)
        return FALSE;
    if (present(*path))
        return failWith(ERROR_ALREADY_EXISTS, FALSE);
    if (!isFolder(path->parent_path()))
        return failWith(ERROR_PATH_NOT_FOUND, FALSE);
    std::error_code ec;
    if (!fs::create_directory(*path, ec))
        return failWith(ec ? win32Error(ec, ERROR_ACCESS_DENIED) : ERROR_ALREADY_EXISTS, FALSE);
    return TRUE;
}

BOOL RemoveDirectory(LPCWSTR lpPathName)
{
    const std::optional<fs::path> path = mapped(lpPathName);
    if (!path)
        return FALSE;
    if (!present(*path))
        return failWith(ERROR_FILE_NOT_FOUND, FALSE);
    // The top of the device's file system is not a folder anyone may remove.
    std::error_code ec;
    if (fs::equivalent(*path, handset::deviceFileSystem(), ec))
        return failWith(ERROR_ACCESS_DENIED, FALSE);
    if (!isFolder(*path))
        return failWith(ERROR_DIRECTORY, FALSE);
    if (!fs::is_empty(*path, ec))
        return failWith(ERROR_DIR_NOT_EMPTY, FALSE);
    if (!fs::remove(*path, ec))
        return failWith(win32Error(ec, ERROR_ACCESS_DENIED), FALSE);
    return TRUE;
}

HANDLE FindFirstFile(LPCWSTR lpFileName, LPWIN32_FIND_DATA lpFindFileData)
{
    const std::u16string_view request = viewOf(lpFileName);
    const std::size_t cut = request.find_last_of(u"\\/");
    if (lpFindFileData == nullptr || cut == std::u16string_view::npos)
        return failWith(lpFindFileData ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const std::u16string folder(request.substr(0, cut == 0 ? 1 : cut));
    const std::u16string pattern = handset::foldCase(request.substr(cut + 1));
    const std::optional<fs::path> folderPath = mapped(folder.c_str());
    if (!folderPath)
        return INVALID_HANDLE_VALUE;
    if (!isFolder(*folderPath))
        return failWith(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

    auto state = std::make_unique<FindState>();
    std::error_code ec;
    std::vector<std::pair<std::u16string, FoundEntry>> found;
    for (fs::directory_iterator it(*folderPath, ec), end; !ec && it != end; it.increment(ec)) {
        std::u16string name = handset::fromUtf8(it->path().filename().string());
        std::u16string folded = handset::foldCase(name);
        if (!pattern.empty() && matches(pattern, folded))
            found.push_back({std::move(folded), FoundEntry{std::move(name), it->path()}});
    }
    if (found.empty())
        return failWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : found)
        state->entries.push_back(std::move(entry.second));

    fill(state->entries[0], *lpFindFileData);
    state->next = 1;
    std::lock_guard lock(findMutex);
    FindState* handle = state.release();
    findStates.insert(handle);
    return handle;
}

BOOL FindNextFile(HANDLE hFindFile, LPWIN32_FIND_DATA lpFindFileData)
{
    std::lock_guard lock(findMutex);
    const auto it = findStates.find(static_cast<FindState*>(hFindFile));
    if (it == findStates.end())
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    if (lpFindFileData == nullptr)
        return failWith(ERROR_INVALID_PARAMETER, FALSE);
    FindState& state = **it;
    if (state.next >= state.entries.size())
        return failWith(ERROR_NO_MORE_FILES, FALSE);
    fill(state.entries[state.next++], *lpFindFileData);
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    std::lock_guard lock(findMutex);
    const auto it = findStates.find(static_cast<FindState*>(hFindFile));
    if (it == findStates.end())
        return failWith(ERROR_INVALID_HANDLE, FALSE);
    delete *it;
    findStates.erase(it);
    return TRUE;
}

BOOL CopyFile(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists)
{
    const std::optional<fs::path> source = mapped(lpExistingFileName);
    if (!source)
        return FALSE;
    const std::optional<fs::path> target = mapped(lpNewFileName);
    if (!target)
        return FALSE;
    std::error_code ec;
    if (!fs::is_regular_file(*source, ec))
        return failWith(isFolder(*source) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND, FALSE);
    if (!isFolder(target->parent_path()))
        return failWith(ERROR_PATH_NOT_FOUND, FALSE);
    if (present(*target)) {
        if (bFailIfExists)
            return failWith(ERROR_FILE_EXISTS, FALSE);
        if (isFolder(*target))
            return failWith(ERROR_ACCESS_DENIED, FALSE);
        if (fs::equivalent(*source, *target, ec)) {
            return TRUE;
        }
    }
    // Copy beside the destination, then rename: a reader never sees half a
    // file, and a failed copy leaves the old one.
    fs::path partial = *target;
    partial += ".copying-" + std::to_string(::getpid());
    if (!fs::copy_file(*source, partial, fs::copy_options::overwrite_existing, ec))
        return dropPartial(partial, win32Error(ec, ERROR_WRITE_FAULT));
    if (bFailIfExists) {
        // link() refuses an existing name, so a file that appeared meanwhile stays.
        if (::link(partial.c_str(), target->c_str()) != 0)
            return dropPartial(partial, win32Error(errno, ERROR_WRITE_FAULT));
        fs::remove(partial, ec);
        return TRUE;
    }
    fs::rename(partial, *target, ec);
    if (ec)
        return dropPartial(partial, win32Error(ec, ERROR_WRITE_FAULT));
    return TRUE;
}

BOOL DeleteFile(LPCWSTR lpFileName)
{
    const std::optional<fs::path> path = mapped(lpFileName);
    if (!path)
        return FALSE;
    if (!present(*path))
        return failWith(missingCode(*path), FALSE);
    if (isFolder(*path))
        return failWith(ERROR_ACCESS_DENIED, FALSE);
    std::error_code ec;
    if (!fs::remove(*path, ec))
        return failWith(win32Error(ec, ERROR_ACCESS_DENIED), FALSE);
    return TRUE;
}

DWORD GetFileAttributes(LPCWSTR lpFileName)
{
    const std::optional<fs::path> path = mapped(lpFileName);
    if (!path)
        return INVALID_FILE_ATTRIBUTES;
    if (!present(*path))
        return failWith(missingCode(*path), INVALID_FILE_ATTRIBUTES);
    return attributesOf(*path);
}
