// WAV files of 16-bit PCM: written whole (the stock sounds) or as a stream
// whose header always describes what has been written so far (captures).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace handset::wmp {

struct PcmFormat {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
};

// Writes a whole WAV file of interleaved 16-bit little-endian samples.
// False when the file cannot be written.
bool writeWavFile(const std::filesystem::path& file, PcmFormat format, std::span<const std::int16_t> samples);

// A WAV file that grows as audio arrives. After every append its header
// holds the sizes of the data written, so the file is whole at any moment,
// also when the process that writes it is killed.
class WavStream {
public:
    WavStream() = default;
    ~WavStream();
    WavStream(const WavStream&) = delete;
    WavStream& operator=(const WavStream&) = delete;

    // Creates `file`, which must not exist yet. False when it cannot.
    bool open(const std::filesystem::path& file, PcmFormat format);
    // Appends raw sample bytes in the format given to open.
    void append(const void* data, std::size_t bytes);
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::uint32_t dataBytes_ = 0;
};

}  // namespace handset::wmp
