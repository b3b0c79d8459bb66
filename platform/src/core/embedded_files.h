// Files the platform library carries, made when it was built (the stock
// sounds and pictures of a new device), and writing them out.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace handset {

struct EmbeddedFile {
    const char* name;
    const unsigned char* bytes;
    std::size_t size;
};

// Writes the files into `folder` under their names, replacing files of the
// same name. False, with the file that failed in *why.
bool writeEmbeddedFiles(const EmbeddedFile* files, std::size_t count, const std::filesystem::path& folder,
                        std::string* why);

}  // namespace handset
