// Writing a key and everything below it as a .reg file.
#include <handset/regfile.h>

#include <cstdio>

#include <handset/wstring.h>

#include "regfile/regfile_internal.h"

namespace handset {

namespace {

// The registry editor breaks hex lists before this column.
constexpr std::size_t kHexLineWidth = 76;

// A name as the format can carry it: no line breaks (there is no escape for
// them) and no unpaired surrogates (UTF-8 cannot carry them).
bool isWritableName(std::u16string_view name)
{
    return name.find_first_of(u"\r\n") == std::u16string_view::npos && regfile_detail::isValidUtf16(name);
}

std::string regQuoted(std::u16string_view text)
{
    std::string out = "\"";
    for (char c : toUtf8(text)) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::u16string fromUtf16Le(const std::vector<BYTE>& data, std::size_t units)
{
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return text;
}

// A REG_SZ is written as "text" only when reading that back stores the same
// bytes: exactly one terminator, at the end, and text the format can carry.
std::optional<std::u16string> asPlainString(const RegValue& value)
{
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0)
        return std::nullopt;
    std::u16string text = fromUtf16Le(value.data, value.data.size() / 2);
    if (text.back() != u'\0')
        return std::nullopt;
    text.pop_back();
    if (text.find(u'\0') != std::u16string::npos || !isWritableName(text))
        return std::nullopt;
    return text;
}

void writeValue(std::string& out, const RegValue& value)
{
    std::string line = value.name.empty() ? "@" : regQuoted(value.name);
    line += '=';

    if (auto text = asPlainString(value)) {
        out += line + regQuoted(*text) + '\n';
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                             (static_cast<DWORD>(value.data[3]) << 24);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(number));
        out += line + digits + '\n';
        return;
    }

    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        line += prefix;
    }
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", value.data[i]);
        line += byte;
        if (i + 1 < value.data.size()) {
            line += ',';
            if (line.size() > kHexLineWidth) {
                out += line + "\\\n";
                line = "  ";
            }
        }
    }
    out += line + '\n';
}

// Writes the open key `key`, named `path`, then its subkeys in order.
LONG writeKey(std::string& out, HKEY key, const RegKeyPath& path, std::string& message)
{
    RegKeyContents contents;
    if (const LONG rc = readRegKey(key, contents); rc != ERROR_SUCCESS) {
        message = "cannot read " + formatRegKeyPath(path);
        return rc;
    }

    out += '[' + formatRegKeyPath(path) + "]\n";
    for (const RegValue& value : contents.values) {
        if (!isWritableName(value.name)) {
            message = "a value of " + formatRegKeyPath(path) + " has a name that a .reg file cannot hold";
            return ERROR_INVALID_NAME;
        }
        writeValue(out, value);
    }
    out += '\n';

    for (const std::u16string& name : contents.subKeys) {
        RegKeyPath childPath{path.root, path.subKey.empty() ? name : path.subKey + u'\\' + name};
        if (!isWritableName(name)) {
            message = "a subkey of " + formatRegKeyPath(path) + " has a name that a .reg file cannot hold";
            return ERROR_INVALID_NAME;
        }
        HKEY child = nullptr;
        LONG rc = RegOpenKeyEx(key, name.c_str(), 0, KEY_READ, &child);
        if (rc == ERROR_FILE_NOT_FOUND)
            continue;  // deleted by another process since it was listed
        if (rc != ERROR_SUCCESS) {
            message = "cannot open " + formatRegKeyPath(childPath);
            return rc;
        }
        rc = writeKey(out, child, childPath, message);
        RegCloseKey(child);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return ERROR_SUCCESS;
}

}  // namespace

RegExportResult exportRegKey(const RegKeyPath& key)
{
    RegExportResult result;
    RegKeyPath stored;
    result.status = storedRegKeyPath(key, stored);
    if (result.status != ERROR_SUCCESS) {
        result.message = result.status == ERROR_FILE_NOT_FOUND ? "no such key: " + formatRegKeyPath(key)
                                                               : "cannot open " + formatRegKeyPath(key);
        return result;
    }

    HKEY open = key.root;
    if (!stored.subKey.empty()) {
        result.status = RegOpenKeyEx(stored.root, stored.subKey.c_str(), 0, KEY_READ, &open);
        if (result.status != ERROR_SUCCESS) {
            result.message = "cannot open " + formatRegKeyPath(stored);
            return result;
        }
    }
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    result.status = writeKey(text, open, stored, result.message);
    if (open != key.root)
        RegCloseKey(open);
    if (result.status == ERROR_SUCCESS)
        result.text = std::move(text);
    return result;
}

}  // namespace handset
