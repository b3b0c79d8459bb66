#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <handset/device.h>
#include <handset/factory.h>

namespace fuzz {

namespace {

std::filesystem::path& scratchRoot()
{
    static std::filesystem::path root;
    return root;
}

void removeScratchDevice()
{
    std::error_code ignored;
    if (!scratchRoot().empty())
        std::filesystem::remove_all(scratchRoot(), ignored);
}

}  // namespace

const std::filesystem::path& useScratchDevice()
{
    if (!scratchRoot().empty())
        return scratchRoot();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/handset-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    scratchRoot() = pattern;
    for (const char* sub : {"fs/Windows", "fs/My Documents", "fs/Program Files", "run", "log"})
        std::filesystem::create_directories(scratchRoot() / sub);
    handset::setDeviceRoot(scratchRoot());
    std::atexit(removeScratchDevice);
    return scratchRoot();
}

const std::filesystem::path& useFactoryDevice()
{
    const std::filesystem::path& root = useScratchDevice();
    const handset::CreateDeviceResult made = handset::createDevice(root, handset::ReplaceExisting::Yes);
    if (!made.ok()) {
        std::fprintf(stderr, "cannot make the fuzzing device: %s\n", made.message.c_str());
        std::abort();
    }
    return root;
}

void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

std::uint8_t Input::byte()
{
    if (rest_.empty())
        return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
}

std::uint16_t Input::u16()
{
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | byte() << 8);
}

std::uint32_t Input::u32()
{
    const std::uint32_t low = u16();
    return low | static_cast<std::uint32_t>(u16()) << 16;
}

std::string Input::bytes(std::size_t maxBytes)
{
    const std::size_t wanted = std::min<std::size_t>({u16(), maxBytes, rest_.size()});
    std::string out(rest_.substr(0, wanted));
    rest_.remove_prefix(wanted);
    return out;
}

std::u16string Input::units(std::size_t maxUnits)
{
    return unitsOf(bytes(maxUnits * 2));
}

std::string Input::rest()
{
    std::string out(rest_);
    rest_ = {};
    return out;
}

std::u16string unitsOf(std::string_view bytes)
{
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
    return out;
}

}  // namespace fuzz
