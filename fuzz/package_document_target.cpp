// A package's provisioning document, as the package installer reads it
// from a package anyone may have made: what parses must name only places
// inside the package and inside the device.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "package_document.h"

namespace {

// Whether a path, split at '\' or '/', has a ".." component.
template <typename Text>
bool climbsOut(const Text& path)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (i - start == 2 && path[start] == '.' && path[start + 1] == '.')
                return true;
            start = i + 1;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const installer::PackageParseResult parsed =
        installer::parsePackageDocument({reinterpret_cast<const char*>(data), size});
    if (!parsed.ok()) {
        FUZZ_CHECK(!parsed.error.empty());
        FUZZ_CHECK(parsed.line >= 0);
        return 0;
    }
    const installer::PackageDocument& document = *parsed.document;
    FUZZ_CHECK(!climbsOut(document.installDir));
    FUZZ_CHECK(!climbsOut(document.setupLibrary));
    FUZZ_CHECK(document.setupLibrary.empty() || document.setupLibrary[0] != '/');
    for (const installer::PackageFolder& folder : document.folders) {
        FUZZ_CHECK(!climbsOut(folder.path));
        for (const installer::PackageFile& file : folder.files) {
            FUZZ_CHECK(!file.source.empty() && file.source[0] != '/');
            FUZZ_CHECK(!climbsOut(file.source));
            FUZZ_CHECK(!climbsOut(file.name));
        }
    }
    return 0;
}
