// The phone's ring as the capture records it: each script's timeline, its
// loudness and its vibration. The device clock runs twenty times as fast,
// so that ten seconds of ringing take half a second.
#include <handset/clock.h>
#include <handset/device.h>
#include <handset/log.h>
#include <handset/sound.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "test_device.h"
#include "test_media.h"

namespace {

namespace fs = std::filesystem;
using handset::sound::RingSettings;

constexpr double kRate = 20;  // device seconds per host second
constexpr int kFrameRate = 44100;

// The left channel of a capture, in samples of the device's timeline.
struct Recorded {
    std::vector<std::int16_t> left;

    double seconds() const { return static_cast<double>(left.size()) / kFrameRate; }

    double rms(double from, double to) const
    {
        const auto a = static_cast<std::size_t>(from * kFrameRate);
        const auto b = std::min(left.size(), static_cast<std::size_t>(to * kFrameRate));
        double sum = 0;
        for (std::size_t i = a; i < b; ++i)
            sum += static_cast<double>(left[i]) * left[i];
        return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
    }

    // The first moment anything sounds; negative when nothing does.
    double firstAudio() const
    {
        for (std::size_t i = 0; i < left.size(); ++i)
            if (std::abs(left[i]) > 64)
                return static_cast<double>(i) / kFrameRate;
        return -1;
    }

    // The pitch between two moments, from its zero crossings.
    double frequency(double from, double to) const
    {
        const auto a = static_cast<std::size_t>(from * kFrameRate);
        const auto b = std::min(left.size(), static_cast<std::size_t>(to * kFrameRate));
        int crossings = 0;
        for (std::size_t i = a + 1; i < b; ++i)
            crossings += (left[i - 1] < 0) != (left[i] < 0);
        return crossings / 2.0 / (to - from);
    }
};

Recorded readRecording(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Recorded recorded;
    EXPECT_GE(bytes.size(), 44u) << file;
    EXPECT_EQ(0, bytes.compare(0, 4, "RIFF")) << file;
    for (std::size_t at = 44; at + 3 < bytes.size(); at += 4)
        recorded.left.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                                          static_cast<std::uint8_t>(bytes[at + 1]) << 8));
    return recorded;
}

class RingTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        captures_ = device_.root() / "captures";
        ::setenv("HANDSET_AUDIO", ("capture:" + captures_.string()).c_str(), 1);
        ASSERT_TRUE(handset::setClockRate(kRate));
        tone_ = u"\\My Documents\\My Ringtones\\Anna.wav";
        writeTone(tone_, 1.0, 440);
        writeTone(u"\\Windows\\Ring.wav", 1.0, 1000);
    }

    void TearDown() override { ::setenv("HANDSET_AUDIO", "none", 1); }

    void writeTone(const std::u16string& path, double seconds, double frequency)
    {
        const fs::path file = *handset::mapDevicePath(path);
        fs::create_directories(file.parent_path());
        wmp_test::writeToneWav(file, seconds, frequency);
    }

    // Rings call `callId` for `deviceSeconds` of the device's clock and
    // returns what was recorded.
    Recorded ring(std::uint32_t callId, const RingSettings& settings, double deviceSeconds = 10)
    {
        const auto begin = std::chrono::steady_clock::now();
        auto ring = handset::sound::startRing(callId, u"+49 151 1234-5678", settings);
        std::this_thread::sleep_for(std::chrono::duration<double>(deviceSeconds / kRate));
        ring->stop();
        rang_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() * kRate;
        const fs::path file = captures_ / ("ring-call" + std::to_string(callId) + "-+49_151_1234_5678.wav");
        EXPECT_TRUE(fs::exists(file)) << "the capture is named by its call and caller";
        return readRecording(file);
    }

    // The vibrations logged for call `callId`: start and length in seconds.
    std::vector<std::pair<double, double>> vibrations(std::uint32_t callId)
    {
        std::ifstream in(handset::deviceLogPath());
        const std::regex line("vibrate: ring of call " + std::to_string(callId) +
                              R"(: start=([0-9.]+) s length=([0-9.]+) s)");
        std::vector<std::pair<double, double>> found;
        for (std::string text; std::getline(in, text);) {
            std::smatch match;
            if (std::regex_search(text, match, line))
                found.emplace_back(std::stod(match[1]), std::stod(match[2]));
        }
        return found;
    }

    std::string log()
    {
        std::ifstream in(handset::deviceLogPath());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path captures_;
    std::u16string tone_;
    double rang_ = 0;  // device seconds from the last ring's start to its stop
};

TEST_F(RingTest, NormalRingPlaysTheToneEveryFourSecondsUntilStopped)
{
    const Recorded recorded = ring(1, {tone_, u"apw3r", 3});
    EXPECT_GE(rang_, recorded.seconds()) << "the capture lasts as long as the call rang on the device";
    EXPECT_GE(recorded.seconds(), 10.0);
    EXPECT_NEAR(0.0, recorded.firstAudio(), 0.01);
    EXPECT_NEAR(440, recorded.frequency(0.1, 0.9), 10) << "the contact's tone, not the phone's own";
    EXPECT_LT(recorded.rms(1.1, 3.9), 1.0) << "three seconds of silence between the rounds";
    EXPECT_GT(recorded.rms(4.1, 4.9), 1000.0) << "the tone again";
    EXPECT_GT(recorded.rms(8.1, 8.9), 1000.0);
    EXPECT_TRUE(vibrations(1).empty());
}

TEST_F(RingTest, LoudnessFollowsTheRingVolume)
{
    const double loudest = ring(1, {tone_, u"apw3r", 5}).rms(0.1, 0.9);
    const double quietest = ring(2, {tone_, u"apw3r", 1}).rms(0.1, 0.9);
    ASSERT_GT(quietest, 0.0);
    EXPECT_NEAR(16.0, loudest / quietest, 1.0) << "four halvings from volume 5 down to 1";
    EXPECT_EQ(0.0, ring(3, {tone_, u"apw3r", 0}).rms(0, 5)) << "volume 0 rings silently";
}

TEST_F(RingTest, AMutedCallerRingsWithoutSoundOrVibration)
{
    const Recorded recorded = ring(1, {tone_, u"", 0});
    EXPECT_GT(recorded.seconds(), 5.0) << "the ring's silence is recorded";
    EXPECT_LT(recorded.firstAudio(), 0.0);
    EXPECT_TRUE(vibrations(1).empty());
}

TEST_F(RingTest, LoudProfileVibratesWithEachTone)
{
    const Recorded recorded = ring(1, {tone_, u"av0pw3r", 5}, 6);
    EXPECT_NEAR(0.0, recorded.firstAudio(), 0.01);
    const auto found = vibrations(1);
    ASSERT_EQ(2u, found.size()) << log();
    EXPECT_NEAR(0.0, found[0].first, 0.01);
    EXPECT_NEAR(1.0, found[0].second, 0.05) << "as long as the tone";
    EXPECT_NEAR(4.0, found[1].first, 0.05);
}

TEST_F(RingTest, VibrateBeforeRingDelaysTheFirstAudio)
{
    const Recorded recorded = ring(1, {tone_, u"v2w2v2w2apw3r", 3});
    EXPECT_NEAR(8.0, recorded.firstAudio(), 0.02) << "two rounds of two seconds' vibration and two of rest";
    const auto found = vibrations(1);
    ASSERT_EQ(2u, found.size()) << log();
    EXPECT_NEAR(0.0, found[0].first, 0.01);
    EXPECT_NEAR(2.0, found[0].second, 0.01);
    EXPECT_NEAR(4.0, found[1].first, 0.01);
}

TEST_F(RingTest, IncreasingRingStartsQuietAndGrows)
{
    const Recorded recorded = ring(1, {tone_, u"c50av0pc150w3r", 4}, 13);
    const double first = recorded.rms(0.1, 0.9);
    const double second = recorded.rms(4.1, 4.9);
    const double third = recorded.rms(8.1, 8.9);
    ASSERT_GT(first, 0.0);
    EXPECT_NEAR(1.5, second / first, 0.1);
    EXPECT_NEAR(2.0, third / first, 0.15) << "up to the full loudness of the volume, not beyond";
    EXPECT_NEAR(third, recorded.rms(12.1, 12.9), third * 0.05);
}

TEST_F(RingTest, AMissingToneRingsWithThePhonesOwnSound)
{
    const Recorded recorded = ring(1, {u"\\My Documents\\gone.wav", u"apw3r", 3}, 6);
    EXPECT_NEAR(1000, recorded.frequency(0.1, 0.9), 20);
    EXPECT_GT(recorded.rms(4.1, 4.9), 1000.0) << "every round, not only the first";
    EXPECT_NE(std::string::npos,
              log().find("ring of call 1: cannot play \"\\My Documents\\gone.wav\": no such file; ringing with the "
                         "default sound \\Windows\\Ring.wav"))
        << log();

    // A file that is there but is no sound falls back the same way.
    std::ofstream(*handset::mapDevicePath(u"\\My Documents\\broken.wav")) << "not a sound";
    EXPECT_NEAR(1000, ring(2, {u"\\My Documents\\broken.wav", u"apw3r", 3}, 2).frequency(0.1, 0.9), 20);
}

}  // namespace
