// .reg import: any bytes are parsed; what parses is applied to the registry,
// exported, and read back, which must give the identical registry.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <handset/regfile.h>
#include <handset/registry.h>

#include "fuzz_support.h"

namespace {

const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

// Empties the three roots, so that every input starts from nothing.
void clearRegistry()
{
    for (HKEY root : kRoots) {
        for (;;) {
            WCHAR name[MAX_KEY_NAME + 1];
            DWORD cch = MAX_KEY_NAME + 1;
            if (RegEnumKeyEx(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            FUZZ_CHECK(RegDeleteKey(root, name) == ERROR_SUCCESS);
        }
        for (;;) {
            WCHAR name[MAX_VALUE_NAME + 1];
            DWORD cch = MAX_VALUE_NAME + 1;
            if (RegEnumValue(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            FUZZ_CHECK(RegDeleteValue(root, name) == ERROR_SUCCESS);
        }
    }
}

// One file per root; empty when a root cannot be written out.
std::vector<std::string> exportAll()
{
    std::vector<std::string> files;
    for (HKEY root : kRoots) {
        const handset::RegExportResult exported = handset::exportRegKey({root, u""});
        if (!exported.ok())
            return {};
        files.push_back(exported.text);
    }
    return files;
}

// What an empty registry exports to.
std::vector<std::string>& emptyExport()
{
    static std::vector<std::string> text;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useScratchDevice();
    emptyExport() = exportAll();
    FUZZ_CHECK(!emptyExport().empty());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const handset::RegParseResult parsed = handset::parseRegFile(bytes);
    if (!parsed.ok()) {
        FUZZ_CHECK(parsed.operations.empty());
        FUZZ_CHECK(parsed.error->line >= 0);
        return 0;
    }
    // Applying costs a transaction; a few hundred operations say as much as
    // many thousands.
    if (parsed.operations.size() > 300)
        return 0;

    int failedLine = -1;
    const LONG rc = handset::applyRegOperations(parsed.operations, &failedLine);
    if (rc != ERROR_SUCCESS) {
        // All or nothing: a refused file leaves the registry empty.
        FUZZ_CHECK(exportAll() == emptyExport());
        return 0;
    }

    // What export writes, import reads back to the same registry.
    const std::vector<std::string> first = exportAll();
    if (!first.empty()) {
        clearRegistry();
        for (const std::string& file : first) {
            const handset::RegParseResult again = handset::parseRegFile(file);
            FUZZ_CHECK(again.ok());
            FUZZ_CHECK(handset::applyRegOperations(again.operations, nullptr) == ERROR_SUCCESS);
        }
        FUZZ_CHECK(exportAll() == first);
    }
    clearRegistry();
    return 0;
}
