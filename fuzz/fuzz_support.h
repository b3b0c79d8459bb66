// What the fuzz targets share: a device of the fuzzing process's own, a
// reader that cuts an input into the pieces a target needs, and a check that
// stops the run loudly when a promise of the code under test is broken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

// Makes a fresh device in a temporary folder and chooses it for the process;
// it is removed when the process exits. Call once, from the target's setup.
const std::filesystem::path& useScratchDevice();

// As useScratchDevice, with the phone's factory registry and sounds in it.
const std::filesystem::path& useFactoryDevice();

// Stops the process with `what` on standard error: a broken promise is a
// finding, exactly like a crash.
[[noreturn]] void fail(const char* what, const char* file, int line);

// Reads an input front to back; once it runs out every read gives zeros or
// empty strings, so a target never has to check.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte();
    std::uint16_t u16();
    std::uint32_t u32();
    // Up to `maxBytes` bytes, as many as a leading 16-bit length asks for.
    std::string bytes(std::size_t maxBytes);
    // As bytes(), taken as UTF-16 code units (an odd last byte is dropped).
    std::u16string units(std::size_t maxUnits);
    // Everything left.
    std::string rest();
    bool empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

// The bytes as UTF-16 code units, little-endian, an odd last byte dropped.
std::u16string unitsOf(std::string_view bytes);

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) \
            ::fuzz::fail(#condition, __FILE__, __LINE__); \
    } while (0)
