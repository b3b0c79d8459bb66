// The platform's .reg text format: reading a file into registry operations,
// applying them, and writing a key with everything below it back out.
//
// Import takes "Windows Registry Editor Version 5.00" (UTF-8 with or without
// a byte order mark, or UTF-16LE with one) and "REGEDIT4" files. Export
// writes version 5.00 in UTF-8 with LF line ends, in a form that import reads
// back to the identical registry.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <handset/registry.h>

namespace handset {

// A key named by its predefined root and its path below it.
struct RegKeyPath {
    HKEY root = nullptr;
    std::u16string subKey;  // components separated by '\'; empty for the root itself

    bool operator==(const RegKeyPath&) const = default;
};

// Parses "HKCU\Software\X" or "HKEY_CURRENT_USER\Software\X" (UTF-8; root
// names HKEY_LOCAL_MACHINE/HKLM, HKEY_CURRENT_USER/HKCU,
// HKEY_CLASSES_ROOT/HKCR, in any case). One trailing '\' is tolerated. Returns
// nothing for an unknown root, an empty component or a component longer than
// MAX_KEY_NAME characters.
std::optional<RegKeyPath> parseRegKeyPath(std::string_view text);

// "HKEY_CURRENT_USER" and so on; empty for a handle that is not a root.
std::string_view regRootName(HKEY root);

// The key written out with its long root name: "HKEY_CURRENT_USER\Software\X".
std::string formatRegKeyPath(const RegKeyPath& key);

// One step of a .reg file, in the order the file gives them.
struct RegOperation {
    enum class Kind {
        CreateKey,    // [KEY]: create the key and any missing key above it
        DeleteKey,    // [-KEY]: delete the key with everything below it
        SetValue,     // "name"=data
        DeleteValue,  // "name"=-
    };

    Kind kind = Kind::CreateKey;
    RegKeyPath key;
    std::u16string valueName;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;    // exactly the bytes to store
    int line = 0;              // the file line the operation starts on

    bool operator==(const RegOperation&) const = default;
};

// Why a file was refused. `line` is 1-based; 0 when the file as a whole is
// at fault (it cannot be read).
struct RegFileError {
    int line = 0;
    std::string message;
};

struct [[nodiscard]] RegParseResult {
    std::vector<RegOperation> operations;
    std::optional<RegFileError> error;  // when set, `operations` is empty

    bool ok() const { return !error; }
};

// Parses the raw bytes of a .reg file (the encoding is detected from its
// byte order mark). Touches no registry, so it can be fed anything.
RegParseResult parseRegFile(std::string_view bytes);

// Applies the operations as one registry batch: all of them or, when one
// fails, none. Deleting a key or value that does not exist is not a failure.
// Returns ERROR_SUCCESS or the failing call's code; *failedLine (may be
// null) then names the operation's line.
[[nodiscard]] LONG applyRegOperations(const std::vector<RegOperation>& operations, int* failedLine = nullptr);

struct [[nodiscard]] RegImportResult {
    std::size_t operations = 0;  // how many were applied
    std::optional<RegFileError> error;

    bool ok() const { return !error; }
};

// Reads, parses and applies a .reg file; a file that does not parse or
// apply completely changes nothing.
RegImportResult importRegFile(const std::filesystem::path& file);

struct [[nodiscard]] RegExportResult {
    LONG status = ERROR_SUCCESS;  // ERROR_FILE_NOT_FOUND: no such key
    std::string text;             // the file's content when status is ERROR_SUCCESS
    std::string message;          // why, when status is not ERROR_SUCCESS

    bool ok() const { return status == ERROR_SUCCESS; }
};

// Writes `key` and everything below it as a version 5.00 file. Keys and
// values whose names cannot be written in the format (line breaks, broken
// UTF-16) make the export fail rather than come back under another name.
RegExportResult exportRegKey(const RegKeyPath& key);

// Reading a key, as export and the device's tools need it.

struct RegValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    bool operator==(const RegValue&) const = default;
};

struct RegKeyContents {
    std::vector<RegValue> values;         // in the order the registry enumerates them
    std::vector<std::u16string> subKeys;  // likewise
};

// Reads every value and the names of the subkeys of an open key.
[[nodiscard]] LONG readRegKey(HKEY key, RegKeyContents& contents);

// The same key spelled as the registry stores it (names are
// case-preserving). ERROR_FILE_NOT_FOUND when a component is missing.
[[nodiscard]] LONG storedRegKeyPath(const RegKeyPath& key, RegKeyPath& stored);

// The platform's name for a value type ("REG_SZ"); "REG_0x1234" for a type
// without one.
std::string regTypeName(DWORD type);

}  // namespace handset
