#include "wmp/wav_file.h"

#include <handset/host_file.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace handset::wmp {

namespace {

constexpr std::size_t kHeaderBytes = 44;
// Where the two sizes sit in the header: the RIFF chunk's and the data chunk's.
constexpr off_t kRiffSizeOffset = 4;
constexpr off_t kDataSizeOffset = 40;

void put16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::array<std::uint8_t, kHeaderBytes> header(PcmFormat format, std::uint32_t dataBytes)
{
    std::array<std::uint8_t, kHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);  // size of the format chunk
    put16(h.data() + 20, 1);   // PCM
    put16(h.data() + 22, format.channels);
    put32(h.data() + 24, format.rate);
    put32(h.data() + 28, format.rate * format.channels * 2);
    put16(h.data() + 32, static_cast<std::uint16_t>(format.channels * 2));
    put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, dataBytes);
    return h;
}


}  // namespace

bool writeWavFile(const std::filesystem::path& file, PcmFormat format, std::span<const std::int16_t> samples)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // Samples are kept in the machine's order, which is little-endian here
    // as WAV wants it.
    static_assert(std::endian::native == std::endian::little);
    const auto bytes = static_cast<std::uint32_t>(samples.size_bytes());
    const auto h = header(format, bytes);
    const bool ok = writeFully(fd, h.data(), h.size()) && writeFully(fd, samples.data(), bytes);
    return ::close(fd) == 0 && ok;
}

WavStream::~WavStream()
{
    close();
}

bool WavStream::open(const std::filesystem::path& file, PcmFormat format)
{
    close();
    fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    dataBytes_ = 0;
    const auto h = header(format, 0);
    if (!writeFully(fd_, h.data(), h.size())) {
        close();
        return false;
    }
    return true;
}

void WavStream::append(const void* data, std::size_t bytes)
{
    if (fd_ < 0 || bytes == 0)
        return;
    if (!writeFully(fd_, data, bytes))
        return;
    dataBytes_ += static_cast<std::uint32_t>(bytes);
    std::uint8_t size[4];
    put32(size, 36 + dataBytes_);
    (void)::pwrite(fd_, size, 4, kRiffSizeOffset);
    put32(size, dataBytes_);
    (void)::pwrite(fd_, size, 4, kDataSizeOffset);
}

void WavStream::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace handset::wmp
