// Whole files of the host, read and written through descriptors that are
// close-on-exec: a program that another thread starts meanwhile inherits
// none of them (the standard streams' files would be inherited). And the
// loops every descriptor needs to move an exact number of bytes.
#pragma once

#include <cstddef>
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

// Reads exactly `size` bytes, going on after interrupted reads; false at an
// error or when the other end closes first.
bool readFully(int fd, void* data, std::size_t size);

// Writes all of `bytes`, going on after interrupted and partial writes; false
// at an error. A socket whose peer has gone gives false, never SIGPIPE.
bool writeFully(int fd, std::string_view bytes);
inline bool writeFully(int fd, const void* data, std::size_t size)
{
    return writeFully(fd, std::string_view(static_cast<const char*>(data), size));
}

}  // namespace handset
