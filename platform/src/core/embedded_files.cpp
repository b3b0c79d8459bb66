#include "core/embedded_files.h"

#include <string_view>

#include <handset/host_file.h>

namespace handset {

bool writeEmbeddedFiles(const EmbeddedFile* files, std::size_t count, const std::filesystem::path& folder,
                        std::string* why)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::filesystem::path file = folder / files[i].name;
        if (!writeHostFile(file, std::string_view(reinterpret_cast<const char*>(files[i].bytes), files[i].size))) {
            if (why)
                *why = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

}  // namespace handset
