// handset reg: reading and writing the device's registry.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include <handset/reg_key.h>
#include <handset/regfile.h>
#include <handset/wstring.h>

#include "commands.h"

namespace handset::cli {

namespace {

constexpr const char* kKeyHelp =
    "KEY is ROOT\\path\\of\\the\\key, ROOT one of HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU) or "
    "HKEY_CLASSES_ROOT (HKCR), in any case; quote it for the shell (\"HKCU\\ControlPanel\\Sounds\"). A NAME of "
    "\"\" or @ means the key's default value.";

struct RegArguments {
    std::string key;
    std::string name;
    std::string type;
    std::string data;
    std::string file;
};

// KEY is checked while the command line is parsed, so that a bad one is a
// usage error like any other.
const CLI::Validator& keyValidator()
{
    static const CLI::Validator validator(
        [](std::string& text) {
            return parseRegKeyPath(text) ? std::string()
                                         : "not a registry key: " + text +
                                               " (write HKCU\\..., HKLM\\..., HKCR\\... or a long root name)";
        },
        "KEY");
    return validator;
}

RegKeyPath keyOf(const RegArguments& arguments)
{
    return *parseRegKeyPath(arguments.key);
}

// "" and "@" both name the default value, as "@" does in .reg files.
std::u16string valueNameOf(const std::string& name)
{
    return name == "@" ? std::u16string() : fromUtf8(name);
}

std::string displayName(const std::string& name)
{
    return name.empty() || name == "@" ? "(default)" : "\"" + name + "\"";
}

enum class Create { No, Yes };

// Opens the key of `path` into `key`, creating it first when asked; a root
// is held as it is (closing a root does nothing).
LONG openKey(const RegKeyPath& path, Create create, handset::RegKey& key)
{
    if (path.subKey.empty()) {
        key.reset(path.root);
        return ERROR_SUCCESS;
    }
    if (create == Create::Yes)
        return RegCreateKeyEx(path.root, path.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, key.out(), nullptr);
    return RegOpenKeyEx(path.root, path.subKey.c_str(), 0, KEY_ALL_ACCESS, key.out());
}

std::string hexOf(const std::vector<BYTE>& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(data.size() * 2);
    for (BYTE b : data) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

// The UTF-16 units of `data` (an odd last byte is no unit).
std::u16string unitsOf(const std::vector<BYTE>& data)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return units;
}

// The UTF-16 string in `data`, up to its terminator, as UTF-8.
std::string textOf(const std::vector<BYTE>& data)
{
    const std::u16string units = unitsOf(data);
    return toUtf8(std::u16string_view(units).substr(0, units.find(u'\0')));
}

DWORD dwordOf(const std::vector<BYTE>& data)
{
    return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
}

// What `reg get` prints: the data alone.
std::string dataForGet(const RegValue& value)
{
    if (value.type == REG_SZ)
        return textOf(value.data);
    if (value.type == REG_DWORD && value.data.size() == 4)
        return std::to_string(dwordOf(value.data));
    return hexOf(value.data);
}

// What `reg query` shows beside the type.
std::string dataForQuery(const RegValue& value)
{
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return textOf(value.data);
    case REG_DWORD:
        if (value.data.size() == 4) {
            char text[32];
            std::snprintf(text, sizeof text, "0x%x (%u)", static_cast<unsigned>(dwordOf(value.data)),
                          static_cast<unsigned>(dwordOf(value.data)));
            return text;
        }
        break;
    case REG_MULTI_SZ: {
        // The strings one after another, separated as the platform's reg
        // tool shows them; the list ends at an empty string.
        const std::u16string units = unitsOf(value.data);
        std::string text;
        for (std::size_t start = 0; start < units.size();) {
            std::size_t end = units.find(u'\0', start);
            if (end == std::u16string::npos)
                end = units.size();
            if (end == start)
                break;
            if (!text.empty())
                text += "\\0";
            text += toUtf8(std::u16string_view(units).substr(start, end - start));
            start = end + 1;
        }
        return text;
    }
    default:
        break;
    }
    return hexOf(value.data);
}

// Reads one value whole, however its size changes meanwhile.
LONG readValue(HKEY key, const std::u16string& name, RegValue& value)
{
    value.name = name;
    value.data.assign(256, 0);
    for (int attempt = 1;; ++attempt) {
        DWORD size = static_cast<DWORD>(value.data.size());
        const LONG rc = RegQueryValueEx(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (rc == ERROR_MORE_DATA && attempt < 8) {
            value.data.resize(std::max<std::size_t>(size, value.data.size() * 2));
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        value.data.resize(size);
        return ERROR_SUCCESS;
    }
}

std::optional<DWORD> parseDword(const std::string& text)
{
    std::uint64_t magnitude = 0;
    std::string_view digits = text;
    int base = 10;
    bool negative = false;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    } else if (digits.starts_with("-")) {
        digits.remove_prefix(1);
        negative = true;
    }
    if (digits.empty())
        return std::nullopt;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (ec != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    if (negative) {
        // As the phone's writers store a LONG: -1 is 0xFFFFFFFF.
        if (magnitude > 0x80000000ull)
            return std::nullopt;
        return static_cast<DWORD>(-static_cast<std::int64_t>(magnitude));
    }
    if (magnitude > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<DWORD>(magnitude);
}

std::optional<std::vector<BYTE>> parseHex(const std::string& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (ec != std::errc{} || end != text.data() + i + 2)
            return std::nullopt;
        bytes.push_back(static_cast<BYTE>(value));
    }
    return bytes;
}

int regGet(const RegArguments& arguments)
{
    const RegKeyPath path = keyOf(arguments);
    handset::RegKey key;
    if (const LONG rc = openKey(path, Create::No, key); rc != ERROR_SUCCESS)
        return fail(rc == ERROR_FILE_NOT_FOUND ? "no such key: " + formatRegKeyPath(path)
                                               : "cannot open " + formatRegKeyPath(path) + " (error " +
                                                     std::to_string(rc) + ")");
    RegValue value;
    if (const LONG rc = readValue(key.get(), valueNameOf(arguments.name), value); rc != ERROR_SUCCESS)
        return fail(rc == ERROR_FILE_NOT_FOUND ? "no value " + displayName(arguments.name) + " in " + formatRegKeyPath(path)
                                               : "cannot read the value (error " + std::to_string(rc) + ")");
    std::cout << dataForGet(value) << '\n';
    return 0;
}

int regSet(const RegArguments& arguments)
{
    const RegKeyPath path = keyOf(arguments);
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::string shown;
    if (arguments.type == "sz") {
        // With the terminator, as the phone's writers store strings.
        type = REG_SZ;
        const std::u16string text = fromUtf8(arguments.data);
        for (char16_t c : text) {
            data.push_back(static_cast<BYTE>(c & 0xFF));
            data.push_back(static_cast<BYTE>(c >> 8));
        }
        data.insert(data.end(), {0, 0});
        shown = "\"" + arguments.data + "\"";
    } else if (arguments.type == "dword") {
        const auto number = parseDword(arguments.data);
        if (!number)
            return usage("not a dword: " + arguments.data +
                         " (give a decimal number from -2147483648 to 4294967295, or 0x and up to 8 hex digits)");
        type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<BYTE>(*number >> shift));
        shown = std::to_string(*number);
    } else {
        auto bytes = parseHex(arguments.data);
        if (!bytes)
            return usage("not hex data: " + arguments.data + " (give pairs of hex digits, e.g. 00ff10)");
        type = REG_BINARY;
        data = std::move(*bytes);
        shown = hexOf(data);
    }

    handset::RegKey key;
    LONG rc = openKey(path, Create::Yes, key);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueEx(key.get(), valueNameOf(arguments.name).c_str(), 0, type, data.data(),
                           static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS)
        return fail("cannot set " + displayName(arguments.name) + " in " + formatRegKeyPath(path) + " (error " +
                    std::to_string(rc) + ")");
    logChange("reg set " + formatRegKeyPath(path) + " " + displayName(arguments.name) + " " + regTypeName(type) +
              " " + shown);
    return 0;
}

int regDelete(const RegArguments& arguments, bool valueGiven)
{
    const RegKeyPath path = keyOf(arguments);
    if (!valueGiven) {
        if (path.subKey.empty())
            return fail("a root key cannot be deleted");
        const LONG rc = RegDeleteKey(path.root, path.subKey.c_str());
        if (rc != ERROR_SUCCESS)
            return fail(rc == ERROR_FILE_NOT_FOUND ? "no such key: " + formatRegKeyPath(path)
                                                   : "cannot delete " + formatRegKeyPath(path) + " (error " +
                                                         std::to_string(rc) + ")");
        logChange("reg delete " + formatRegKeyPath(path) + " with everything below it");
        return 0;
    }

    handset::RegKey key;
    LONG rc = openKey(path, Create::No, key);
    if (rc != ERROR_SUCCESS)
        return fail(rc == ERROR_FILE_NOT_FOUND ? "no such key: " + formatRegKeyPath(path)
                                               : "cannot open " + formatRegKeyPath(path));
    rc = RegDeleteValue(key.get(), valueNameOf(arguments.name).c_str());
    if (rc != ERROR_SUCCESS)
        return fail(rc == ERROR_FILE_NOT_FOUND ? "no value " + displayName(arguments.name) + " in " + formatRegKeyPath(path)
                                               : "cannot delete the value (error " + std::to_string(rc) + ")");
    logChange("reg delete " + formatRegKeyPath(path) + " " + displayName(arguments.name));
    return 0;
}

int regQuery(const RegArguments& arguments)
{
    RegKeyPath path;
    LONG rc = storedRegKeyPath(keyOf(arguments), path);
    handset::RegKey key;
    if (rc == ERROR_SUCCESS)
        rc = openKey(path, Create::No, key);
    if (rc != ERROR_SUCCESS)
        return fail(rc == ERROR_FILE_NOT_FOUND ? "no such key: " + formatRegKeyPath(keyOf(arguments))
                                               : "cannot open " + formatRegKeyPath(keyOf(arguments)));
    RegKeyContents contents;
    if (rc = readRegKey(key.get(), contents); rc != ERROR_SUCCESS)
        return fail("cannot read " + formatRegKeyPath(path) + " (error " + std::to_string(rc) + ")");

    const std::string name = formatRegKeyPath(path);
    std::cout << name << '\n';
    for (const RegValue& value : contents.values)
        std::cout << "    " << (value.name.empty() ? "(Default)" : toUtf8(value.name)) << "    "
                  << regTypeName(value.type) << "    " << dataForQuery(value) << '\n';
    if (!contents.subKeys.empty()) {
        std::cout << '\n';
        for (const std::u16string& subKey : contents.subKeys)
            std::cout << name << '\\' << toUtf8(subKey) << '\n';
    }
    return 0;
}

int regExport(const RegArguments& arguments)
{
    const RegExportResult result = exportRegKey(keyOf(arguments));
    if (!result.ok())
        return fail(result.message);
    if (arguments.file.empty() || arguments.file == "-") {
        std::cout << result.text << std::flush;
        return std::cout ? 0 : fail("cannot write the export to standard output");
    }

    // Through a temporary file, so that a failed export never leaves half a
    // file where an earlier export was.
    const std::filesystem::path target = arguments.file;
    const std::filesystem::path temporary = target.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << result.text;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return fail("cannot write " + target.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return fail("cannot write " + target.string());
    }
    return 0;
}

int regImport(const RegArguments& arguments)
{
    const RegImportResult result = importRegFile(arguments.file);
    if (!result.ok()) {
        const std::string where = result.error->line > 0
                                      ? arguments.file + ":" + std::to_string(result.error->line)
                                      : arguments.file;
        return fail(where + ": " + result.error->message + "; nothing was imported");
    }
    logChange("reg import " + std::filesystem::absolute(arguments.file).string() + " (" +
              std::to_string(result.operations) + " operations)");
    return 0;
}

}  // namespace

void addRegCommands(CLI::App& app)
{
    CLI::App* reg = app.add_subcommand("reg", "Read and write the device's registry.");
    reg->require_subcommand(1);
    reg->footer(kKeyHelp);
    auto arguments = std::make_shared<RegArguments>();

    auto addKey = [&](CLI::App* command) {
        command->add_option("KEY", arguments->key, "the key")->required()->check(keyValidator());
        command->footer(kKeyHelp);
    };

    CLI::App* get = reg->add_subcommand(
        "get", "Print a value's data alone: REG_SZ as text, REG_DWORD as an unsigned decimal number, REG_BINARY and "
               "every other type as lowercase hex.");
    addKey(get);
    get->add_option("NAME", arguments->name, "the value (\"\" or @: the default value)")->required();
    onRun(get, NeedsDevice::Yes, [arguments] { return regGet(*arguments); });

    CLI::App* set = reg->add_subcommand(
        "set", "Set a value, creating the key and any missing key above it. sz stores the text as UTF-16 with its "
               "terminator; dword takes a decimal number, 0x and hex digits, or a negative number (-1 stores "
               "0xFFFFFFFF); binary takes pairs of hex digits.");
    addKey(set);
    set->add_option("NAME", arguments->name, "the value (\"\" or @: the default value)")->required();
    set->add_option("TYPE", arguments->type, "sz, dword or binary")
        ->required()
        ->transform(CLI::IsMember({"sz", "dword", "binary"}, CLI::ignore_case));
    set->add_option("DATA", arguments->data, "the data")->required();
    onRun(set, NeedsDevice::Yes, [arguments] { return regSet(*arguments); });

    CLI::App* deleteCommand = reg->add_subcommand(
        "delete", "Delete a value, or without NAME the key with everything below it.");
    addKey(deleteCommand);
    CLI::Option* name = deleteCommand->add_option("NAME", arguments->name, "the value (\"\" or @: the default value)");
    onRun(deleteCommand, NeedsDevice::Yes, [arguments, name] { return regDelete(*arguments, name->count() > 0); });

    CLI::App* query = reg->add_subcommand(
        "query", "Show a key: its values with their types and data, then the full names of its subkeys.");
    addKey(query);
    onRun(query, NeedsDevice::Yes, [arguments] { return regQuery(*arguments); });

    CLI::App* exportCommand = reg->add_subcommand(
        "export", "Write a key and everything below it as a .reg file (\"Windows Registry Editor Version 5.00\", "
                  "UTF-8), to FILE or to standard output.");
    addKey(exportCommand);
    exportCommand->add_option("FILE", arguments->file, "where to write it (default or -: standard output)");
    onRun(exportCommand, NeedsDevice::Yes, [arguments] { return regExport(*arguments); });

    CLI::App* importCommand = reg->add_subcommand(
        "import", "Apply a .reg file (version 5.00 or REGEDIT4; UTF-8 or UTF-16LE). A file with an error is "
                  "refused with its line number and nothing of it is applied.");
    importCommand->add_option("FILE", arguments->file, "the .reg file")->required();
    onRun(importCommand, NeedsDevice::Yes, [arguments] { return regImport(*arguments); });
}

}  // namespace handset::cli
