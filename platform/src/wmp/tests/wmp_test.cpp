// The media player control with real GStreamer playback: its interfaces,
// the play states through a playback, stop, pause and position, release
// while playing, media that cannot be played, and where the sound goes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <handset/com.h>
#include <handset/device.h>
#include <handset/log.h>
#include <handset/msgqueue.h>
#include <handset/wmp.h>

#include "test_device.h"
#include "test_media.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits for a condition that playback brings about, for at most `limit`.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class PlayerTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        captures_ = device_.root() / "captures";
        setenv("HANDSET_AUDIO", ("capture:" + captures_.string()).c_str(), 1);
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                         reinterpret_cast<void**>(&player_)));
        ASSERT_EQ(S_OK, player_->get_controls(&controls_));
    }
    void TearDown() override
    {
        if (controls_)
            controls_->Release();
        if (player_)
            player_->Release();
        CoUninitialize();
        unsetenv("HANDSET_AUDIO");
    }

    // A tone in the device's file system; returns its device path.
    std::u16string tone(const std::string& name, double seconds)
    {
        fs::create_directories(device_.root() / "fs" / "My Documents");
        wmp_test::writeToneWav(device_.root() / "fs" / "My Documents" / name, seconds);
        return u"\\My Documents\\" + std::u16string(name.begin(), name.end());
    }

    int state()
    {
        WMPPlayState s = static_cast<WMPPlayState>(-1);
        EXPECT_EQ(S_OK, player_->get_playState(&s));
        return s;
    }

    double position()
    {
        double seconds = -1;
        EXPECT_EQ(S_OK, controls_->get_currentPosition(&seconds));
        return seconds;
    }

    void play(const std::u16string& url)
    {
        std::u16string copy = url;
        ASSERT_EQ(S_OK, player_->put_URL(copy.data()));
    }

    std::optional<wmp_test::Capture> onlyCapture()
    {
        const auto files = wmp_test::filesIn(captures_);
        EXPECT_EQ(1u, files.size());
        if (files.size() != 1)
            return std::nullopt;
        return wmp_test::readCapture(files[0]);
    }

    fs::path captures_;
    IWMPPlayer* player_ = nullptr;
    IWMPControls* controls_ = nullptr;
};

TEST_F(PlayerTest, CreatedInProcessWithItsInterfaces)
{
    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, player_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(player_), unknown);
    unknown->Release();
    void* none = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, player_->QueryInterface(IID_IWMPControls, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(S_OK, controls_->QueryInterface(IID_IWMPControls, &none));
    EXPECT_EQ(static_cast<void*>(controls_), none);
    controls_->Release();

    EXPECT_EQ(E_POINTER, player_->put_URL(nullptr));
    EXPECT_EQ(E_POINTER, player_->get_playState(nullptr));
    EXPECT_EQ(E_POINTER, player_->get_controls(nullptr));
    EXPECT_EQ(E_POINTER, controls_->get_currentPosition(nullptr));
    EXPECT_EQ(wmppsUndefined, state());
    EXPECT_EQ(0.0, position());
    EXPECT_EQ(S_FALSE, controls_->play()) << "nothing to play yet";

    IWMPPlayer* aggregated = reinterpret_cast<IWMPPlayer*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_WindowsMediaPlayer, unknown, CLSCTX_INPROC_SERVER,
                                                      IID_IWMPPlayer, reinterpret_cast<void**>(&aggregated)));
    EXPECT_EQ(nullptr, aggregated);

    // The controls keep their player alive after the player is released.
    IWMPControls* kept = nullptr;
    ASSERT_EQ(S_OK, player_->get_controls(&kept));
    player_->Release();
    player_ = nullptr;
    EXPECT_EQ(S_OK, kept->stop());
    kept->Release();
}

// Transitioning, then playing while the position runs, then media ended at
// the end of the media; the thread that set the URL is woken meanwhile, and
// what reached the sink is the whole tone, once.
TEST_F(PlayerTest, PlayStatesThroughAWholePlayback)
{
    const std::u16string path = tone("Tone One.wav", 1.5);
    play(path);
    std::vector<int> states{state()};
    bool woken = false;
    double whilePlaying = 0;
    ASSERT_TRUE(eventually([&] {
        MSG msg;
        if (PeekMessage(&msg, nullptr, handset::kPlayerProgressMessage, handset::kPlayerProgressMessage, PM_REMOVE))
            woken = true;
        const int now = state();
        if (now != states.back())
            states.push_back(now);
        if (now == wmppsPlaying)
            whilePlaying = std::max(whilePlaying, position());
        return now != wmppsTransitioning && now != wmppsPlaying;
    }));
    if (states.front() == wmppsPlaying)  // the stream may open before the first look
        states.insert(states.begin(), wmppsTransitioning);
    EXPECT_EQ((std::vector<int>{wmppsTransitioning, wmppsPlaying, wmppsMediaEnded}), states);
    EXPECT_TRUE(woken);
    EXPECT_GT(whilePlaying, 0.5);
    EXPECT_NEAR(1.5, position(), 0.1) << "the end of the media";

    const auto capture = onlyCapture();
    ASSERT_TRUE(capture);
    EXPECT_NEAR(1.5, capture->seconds, 0.05);
    EXPECT_GT(capture->peak, 10000);
    EXPECT_NE(std::string::npos, slurp(handset::deviceLogPath()).find("wmp: play \"\\My Documents\\Tone One.wav\""));
}

TEST_F(PlayerTest, StopPauseAndPlayAgain)
{
    play(tone("long.wav", 10));
    ASSERT_TRUE(eventually([&] { return state() == wmppsPlaying && position() >= 0.5; }));

    EXPECT_EQ(S_OK, controls_->pause());
    ASSERT_TRUE(eventually([&] { return state() == wmppsPaused; }));
    const double paused = position();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(paused, position()) << "a paused stream holds its place";
    EXPECT_EQ(S_OK, controls_->play());
    ASSERT_TRUE(eventually([&] { return state() == wmppsPlaying; }));
    EXPECT_GE(position(), paused);

    EXPECT_EQ(S_OK, controls_->stop());
    EXPECT_EQ(wmppsStopped, state());
    EXPECT_EQ(0.0, position());
    EXPECT_EQ(S_FALSE, controls_->pause()) << "nothing plays";

    // Playing after a stop starts the media again from its beginning, as a
    // new stream.
    EXPECT_EQ(S_OK, controls_->play());
    ASSERT_TRUE(eventually([&] { return state() == wmppsPlaying; }));
    EXPECT_LT(position(), paused);
    EXPECT_EQ(S_OK, player_->close());
    EXPECT_EQ(wmppsUndefined, state());

    const auto files = wmp_test::filesIn(captures_);
    ASSERT_EQ(2u, files.size());
    const auto first = wmp_test::readCapture(files[0]);
    ASSERT_TRUE(first);
    EXPECT_GE(first->seconds, 0.5);
    EXPECT_LT(first->seconds, 5.0) << "stop ended the stream";
}

TEST_F(PlayerTest, ReleaseWhilePlayingStopsPlayback)
{
    play(tone("long.wav", 10));
    ASSERT_TRUE(eventually([&] { return state() == wmppsPlaying && position() >= 0.3; }));
    controls_->Release();
    controls_ = nullptr;
    player_->Release();
    player_ = nullptr;

    const auto files = wmp_test::filesIn(captures_);
    ASSERT_EQ(1u, files.size());
    const auto size = fs::file_size(files[0]);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(size, fs::file_size(files[0])) << "nothing plays after the release";
    const auto capture = wmp_test::readCapture(files[0]);
    ASSERT_TRUE(capture);
    EXPECT_GE(capture->seconds, 0.3);
    EXPECT_LT(capture->seconds, 5.0);
}

// Nothing is played and nothing reaches the sink; the state tells, and the
// log says why.
TEST_F(PlayerTest, MediaThatCannotBePlayed)
{
    fs::create_directories(device_.root() / "fs" / "My Documents");
    std::ofstream(device_.root() / "fs" / "My Documents" / "notes.wav") << "these are not sounds\n";
    const std::u16string urls[] = {
        u"\\My Documents\\missing.wav",
        u"My Documents\\relative.wav",
        u"\\My Documents\\..\\..\\outside.wav",
        u"\\My Documents\\notes.wav",
    };
    for (const std::u16string& url : urls) {
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        play(url);
        EXPECT_TRUE(eventually([&] { return state() == wmppsReady; }));
        EXPECT_EQ(0.0, position());
    }
    EXPECT_TRUE(wmp_test::filesIn(captures_).empty());
    const std::string log = slurp(handset::deviceLogPath());
    EXPECT_NE(std::string::npos, log.find("wmp: cannot play \"\\My Documents\\missing.wav\": no such file"));
    EXPECT_NE(std::string::npos, log.find("wmp: cannot play \"\\My Documents\\notes.wav\": "));

    play(u"");
    EXPECT_EQ(wmppsUndefined, state()) << "an empty URL closes the media";
}

TEST_F(PlayerTest, WithoutCaptureNothingIsWritten)
{
    controls_->Release();
    player_->Release();
    setenv("HANDSET_AUDIO", "none", 1);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                     reinterpret_cast<void**>(&player_)));
    ASSERT_EQ(S_OK, player_->get_controls(&controls_));
    play(tone("short.wav", 0.5));
    ASSERT_TRUE(eventually([&] { return state() == wmppsMediaEnded; }));
    EXPECT_NEAR(0.5, position(), 0.1) << "the real-time sink played it through";
    EXPECT_FALSE(fs::exists(captures_));
}

// WMA comes in an ASF container, whose demuxer is in GStreamer's "ugly"
// plug-ins.
TEST_F(PlayerTest, PlaysWma)
{
    if (!wmp_test::hasElement("asfdemux"))
        GTEST_SKIP() << "GStreamer's asfdemux is missing (Debian package gstreamer1.0-plugins-ugly)";
    fs::create_directories(device_.root() / "fs" / "My Documents");
    ASSERT_TRUE(wmp_test::encodeTone(device_.root() / "fs" / "My Documents" / "tone.wma", 1.0, wmp_test::Codec::Wma));
    play(u"\\My Documents\\tone.wma");
    ASSERT_TRUE(eventually([&] { return state() == wmppsMediaEnded || state() == wmppsReady; }));
    EXPECT_EQ(wmppsMediaEnded, state());
    const auto capture = onlyCapture();
    ASSERT_TRUE(capture);
    EXPECT_GT(capture->seconds, 0.9);
    EXPECT_GT(capture->peak, 5000);
}

}  // namespace
