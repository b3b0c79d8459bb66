#include "help_file.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/wstring.h>

namespace peghelp {

namespace {

namespace fs = std::filesystem;

std::u16string_view trimmed(std::u16string_view text)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isRegularFile(const fs::path& file)
{
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

// The folders directly below "\Program Files", sorted so that the search
// order does not depend on the order the file system lists them in.
std::vector<std::u16string> programFolders()
{
    std::vector<std::u16string> folders;
    const auto root = handset::mapDevicePath(u"\\Program Files");
    std::error_code ec;
    if (!root || !fs::is_directory(*root, ec))
        return folders;
    for (const auto& entry : fs::directory_iterator(*root, ec)) {
        std::error_code kindError;
        if (entry.is_directory(kindError))
            folders.push_back(handset::fromUtf8(entry.path().filename().string()));
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

// Fills where and hostPath when devicePath names a regular file.
bool tryPlace(HelpFile& help, const std::u16string& devicePath)
{
    const auto host = handset::mapDevicePath(devicePath);
    if (!host || !isRegularFile(*host))
        return false;
    help.devicePath = devicePath;
    help.hostPath = *host;
    return true;
}

}  // namespace

HelpFile findHelpFile(std::u16string_view commandLine)
{
    HelpFile help;
    std::u16string_view text = trimmed(commandLine);
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
        text = trimmed(text.substr(1, text.size() - 2));
    if (const auto hash = text.find(u'#'); hash != std::u16string_view::npos) {
        help.section = std::u16string(text.substr(hash + 1));
        text = trimmed(text.substr(0, hash));
    }
    help.name = std::u16string(text);
    if (text.empty()) {
        help.error = ERROR_INVALID_PARAMETER;
        return help;
    }

    if (text.front() == u'\\') {
        if (!handset::mapDevicePath(text)) {
            help.error = ERROR_PATH_NOT_FOUND;
            return help;
        }
        if (!tryPlace(help, help.name))
            help.error = ERROR_FILE_NOT_FOUND;
        return help;
    }

    // A relative path with folders could only be taken relative to some
    // current folder, which the phone's programs do not have.
    if (text.find_first_of(u"\\/") != std::u16string_view::npos || text == u"." || text == u"..") {
        help.error = ERROR_PATH_NOT_FOUND;
        return help;
    }
    if (tryPlace(help, u"\\Windows\\" + help.name))
        return help;
    for (const std::u16string& folder : programFolders())
        if (tryPlace(help, u"\\Program Files\\" + folder + u"\\" + help.name))
            return help;
    help.error = ERROR_FILE_NOT_FOUND;
    return help;
}

}  // namespace peghelp
