// Applying parsed .reg operations to the registry.
#include <handset/regfile.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <sstream>

#include <handset/host_file.h>
#include <handset/registry_batch.h>

namespace handset {

namespace {

// Opens the operation's key, creating it when `create` (the root itself
// needs no opening). *key is null when the key does not exist and was not
// to be created.
LONG openKey(const RegOperation& operation, bool create, HKEY* key)
{
    *key = nullptr;
    if (operation.key.subKey.empty()) {
        *key = operation.key.root;
        return ERROR_SUCCESS;
    }
    if (create)
        return RegCreateKeyEx(operation.key.root, operation.key.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key, nullptr);
    const LONG rc = RegOpenKeyEx(operation.key.root, operation.key.subKey.c_str(), 0, KEY_ALL_ACCESS, key);
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

void closeKey(const RegOperation& operation, HKEY key)
{
    if (key && key != operation.key.root)
        RegCloseKey(key);
}

LONG applyOne(const RegOperation& operation)
{
    using Kind = RegOperation::Kind;
    HKEY key = nullptr;
    LONG rc = ERROR_SUCCESS;
    switch (operation.kind) {
    case Kind::CreateKey:
        rc = openKey(operation, true, &key);
        break;
    case Kind::DeleteKey:
        rc = RegDeleteKey(operation.key.root, operation.key.subKey.c_str());
        if (rc == ERROR_FILE_NOT_FOUND)
            rc = ERROR_SUCCESS;
        break;
    case Kind::SetValue:
        rc = openKey(operation, true, &key);
        if (rc == ERROR_SUCCESS)
            rc = RegSetValueEx(key, operation.valueName.c_str(), 0, operation.type, operation.data.data(),
                               static_cast<DWORD>(operation.data.size()));
        break;
    case Kind::DeleteValue:
        rc = openKey(operation, false, &key);
        if (rc == ERROR_SUCCESS && key) {
            rc = RegDeleteValue(key, operation.valueName.c_str());
            if (rc == ERROR_FILE_NOT_FOUND)
                rc = ERROR_SUCCESS;
        }
        break;
    }
    closeKey(operation, key);
    return rc;
}

}  // namespace

LONG applyRegOperations(const std::vector<RegOperation>& operations, int* failedLine)
{
    int failed = 0;
    const LONG rc = RegApplyBatch([&]() -> LONG {
        for (const RegOperation& operation : operations) {
            if (const LONG opRc = applyOne(operation); opRc != ERROR_SUCCESS) {
                failed = operation.line;
                return opRc;
            }
        }
        return ERROR_SUCCESS;
    });
    if (failedLine)
        *failedLine = rc == ERROR_SUCCESS ? 0 : failed;
    return rc;
}

RegImportResult importRegFile(const std::filesystem::path& file)
{
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        return {0, RegFileError{0, "is a folder, not a file"}};
    const std::optional<std::string> bytes = readHostFile(file);
    if (!bytes)
        return {0, RegFileError{0, "cannot read: " + std::string(std::strerror(errno))}};

    RegParseResult parsed = parseRegFile(*bytes);
    if (!parsed.ok())
        return {0, parsed.error};

    int failedLine = 0;
    if (const LONG rc = applyRegOperations(parsed.operations, &failedLine); rc != ERROR_SUCCESS)
        return {0, RegFileError{failedLine, "the registry refused this line (error " + std::to_string(rc) +
                                                "); nothing of the file was applied"}};
    return {parsed.operations.size(), std::nullopt};
}

}  // namespace handset
