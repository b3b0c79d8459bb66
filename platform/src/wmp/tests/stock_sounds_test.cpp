// The stock sounds a new device gets: each file there, in its format, and
// audible when decoded.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <handset/factory.h>

#include "test_device.h"
#include "test_media.h"
#include "wmp/stock_sounds.h"

namespace {

namespace fs = std::filesystem;

TEST(StockSounds, EachFormatDecodesToAShortAudibleTone)
{
    handset::testing::TempDevice device;
    const fs::path folder = device.root() / "sounds";
    fs::create_directories(folder);
    std::string why;
    ASSERT_TRUE(handset::wmp::writeStockSounds(folder, &why)) << why;

    const char* names[] = {"Ring.wav", "Alert.wav", "Chimes.mp3", "Beeps.mp3", "Melody.mid", "Fanfare.mid"};
    EXPECT_EQ(std::size(names), wmp_test::filesIn(folder).size()) << "no temporary file is left";
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const auto decoded = wmp_test::decodeFile(folder / name);
        ASSERT_TRUE(decoded);
        EXPECT_GT(decoded->seconds, 0.3);
        EXPECT_LT(decoded->seconds, 5.0) << "short enough to play whole";
        EXPECT_GT(decoded->peak, 1000);
    }
}

// The factory's ring and message sounds exist on a new device.
TEST(StockSounds, NewDeviceHasTheSoundsItsRegistryNames)
{
    handset::testing::TempDevice scratch;
    const fs::path root = scratch.root() / "phone";
    ASSERT_TRUE(handset::createDevice(root, handset::ReplaceExisting::No).ok());
    for (const char* name : {"Ring.wav", "Alert.wav", "Chimes.mp3", "Melody.mid"})
        EXPECT_TRUE(fs::is_regular_file(root / "fs" / "Windows" / name)) << name;
}

}  // namespace
