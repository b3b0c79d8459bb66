#include "core/embedded_files.h"

#include <fstream>

namespace handset {

bool writeEmbeddedFiles(const EmbeddedFile* files, std::size_t count, const std::filesystem::path& folder,
                        std::string* why)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::filesystem::path file = folder / files[i].name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(files[i].bytes), static_cast<std::streamsize>(files[i].size));
        out.close();
        if (!out) {
            if (why)
                *why = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

}  // namespace handset
