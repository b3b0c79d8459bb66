// Whole files of the host, read and written through descriptors that are
// close-on-exec: a program that another thread starts meanwhile inherits
// none of them (the standard streams' files would be inherited).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace handset {

// The file's bytes; nothing, with errno set, when it cannot be opened or read.
std::optional<std::string> readHostFile(const std::filesystem::path& file);

// Makes `bytes` the whole content of the file (created or truncated); false,
// with errno set, when any of it could not be written.
bool writeHostFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace handset
