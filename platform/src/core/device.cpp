#include <handset/device.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include <handset/wstring.h>

#include "core/device_internal.h"

namespace handset {

namespace fs = std::filesystem;

namespace {

std::mutex rootMutex;
fs::path chosenRoot;
std::atomic<std::uint64_t> generation{1};

}  // namespace

fs::path defaultDeviceRoot()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return fs::path(xdg) / "handset" / "default";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "handset" / "default";
}

fs::path deviceRoot()
{
    std::lock_guard lock(rootMutex);
    if (!chosenRoot.empty())
        return chosenRoot;
    if (const char* env = std::getenv("HANDSET_DEVICE"); env && *env)
        return fs::absolute(env);
    return defaultDeviceRoot();
}

void setDeviceRoot(const fs::path& root)
{
    std::lock_guard lock(rootMutex);
    chosenRoot = fs::absolute(root);
    // Programs the device starts belong to the same device.
    setenv("HANDSET_DEVICE", chosenRoot.c_str(), 1);
    generation.fetch_add(1);
}

fs::path deviceFileSystem()
{
    return deviceRoot() / "fs";
}

std::optional<fs::path> mapDevicePath(std::u16string_view devicePath)
{
    // Both separators are accepted, as on the phone; a device path is
    // always absolute.
    if (devicePath.empty() || (devicePath[0] != u'\\' && devicePath[0] != u'/'))
        return std::nullopt;

    const fs::path top = deviceFileSystem();
    fs::path mapped = top;
    bool existing = true;  // whether `mapped` still names something on disk
    std::size_t start = 0;
    while (start < devicePath.size()) {
        std::size_t end = devicePath.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos)
            end = devicePath.size();
        const std::u16string_view part = devicePath.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".")
            continue;
        if (part == u".." || part.find(u'\0') != std::u16string_view::npos)
            return std::nullopt;

        std::string name = toUtf8(part);
        if (existing) {
            std::error_code ec;
            if (!fs::exists(mapped / name, ec)) {
                // Look for the same name in another case.
                const std::u16string folded = foldCase(part);
                std::string found;
                for (fs::directory_iterator it(mapped, ec), endIt; !ec && it != endIt; it.increment(ec)) {
                    const std::string candidate = it->path().filename().string();
                    if (foldCase(fromUtf8(candidate)) == folded) {
                        found = candidate;
                        break;
                    }
                }
                if (found.empty())
                    existing = false;
                else
                    name = found;
            }
        }
        mapped /= name;
    }

    // A link inside the device may not lead out of it.
    std::error_code ec;
    const fs::path realTop = fs::weakly_canonical(top, ec);
    if (ec)
        return std::nullopt;
    const fs::path real = fs::weakly_canonical(mapped, ec);
    if (ec)
        return std::nullopt;
    auto [topEnd, realIt] = std::mismatch(realTop.begin(), realTop.end(), real.begin(), real.end());
    if (topEnd != realTop.end())
        return std::nullopt;
    return mapped;
}

namespace detail {

std::uint64_t deviceGeneration()
{
    return generation.load(std::memory_order_acquire);
}

}  // namespace detail

}  // namespace handset
