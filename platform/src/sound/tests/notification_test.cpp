// A text message's notification sound as the capture records it.
#include <handset/device.h>
#include <handset/log.h>
#include <handset/sound.h>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "test_device.h"
#include "test_media.h"

namespace {

namespace fs = std::filesystem;

class NotificationTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        captures_ = device_.root() / "captures";
        ::setenv("HANDSET_AUDIO", ("capture:" + captures_.string()).c_str(), 1);
    }
    void TearDown() override { ::setenv("HANDSET_AUDIO", "none", 1); }

    std::string log()
    {
        std::ifstream in(handset::deviceLogPath());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path captures_;
};

TEST_F(NotificationTest, AMidiWaveIsCapturedAsOneStreamAndVibratesWithIt)
{
    if (!wmp_test::hasElement("fluiddec"))
        GTEST_SKIP() << "no MIDI synthesiser here";
    const fs::path midi = *handset::mapDevicePath(u"\\My Documents\\Bell.MID");
    fs::create_directories(midi.parent_path());
    wmp_test::writeMidi(midi, 2);

    auto sounding = handset::sound::playNotification(7, {u"\\My Documents\\Bell.MID", true, true, 5});
    ASSERT_TRUE(sounding);
    sounding->wait();

    const auto files = wmp_test::filesIn(captures_);
    ASSERT_EQ(1u, files.size()) << log();
    EXPECT_EQ("notification-message7.wav", files[0].filename());
    const auto recorded = wmp_test::readCapture(files[0]);
    ASSERT_TRUE(recorded);
    EXPECT_GT(recorded->peak, 500) << "the synthesised notes";
    EXPECT_GT(recorded->seconds, 0.9) << "two half-second notes, played once";
    EXPECT_LT(recorded->seconds, 4.0) << "once, not repeated";
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("notification of message 7: played \"\\My Documents\\Bell.MID\" once at volume 5"))
        << text;
    EXPECT_NE(std::string::npos, text.find("vibrate: notification of message 7: start=0.000 s length=")) << text;
}

TEST_F(NotificationTest, NeitherSoundNorVibrationIsNothing)
{
    EXPECT_FALSE(handset::sound::playNotification(1, {u"\\Windows\\Alert.wav", false, false, 3}));
    auto buzz = handset::sound::playNotification(2, {u"\\Windows\\Alert.wav", false, true, 3});
    ASSERT_TRUE(buzz);
    buzz->wait();
    EXPECT_TRUE(wmp_test::filesIn(captures_).empty()) << "no sound, no stream";
    EXPECT_NE(std::string::npos, log().find("vibrate: notification of message 2: start=0.000 s length=1.000 s"));
}

}  // namespace
