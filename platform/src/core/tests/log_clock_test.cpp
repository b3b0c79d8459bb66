#include <handset/clock.h>
#include <handset/log.h>

#include <fstream>
#include <regex>
#include <thread>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

using handset::testing::DeviceTest;

std::vector<std::string> logLines()
{
    std::ifstream in(handset::deviceLogPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(DeviceTest, LogLinesCarryTimeProgramPidAndChannel)
{
    handset::setProgramName("radio");
    handset::logLine("ring", "sound=\\Windows\\Ring.wav\nscript=apw3r");
    handset::setProgramName("");
    const auto lines = logLines();
    ASSERT_EQ(1u, lines.size());
    const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} radio\[\d+\] ring: (.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, form)) << lines[0];
    // A line end in the text must not start a second event.
    EXPECT_EQ("sound=\\Windows\\Ring.wav script=apw3r", match[1].str());
}

TEST_F(DeviceTest, ClockRunsFromTheTimeOfDaySet)
{
    ASSERT_TRUE(handset::setClockTimeOfDay(22, 0));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // The clock keeps running, so allow it to have ticked on a little.
    EXPECT_EQ(22, now.wHour);
    EXPECT_EQ(0, now.wMinute);

    // The log takes its time from the device clock too.
    handset::logLine("test", "x");
    EXPECT_NE(std::string::npos, logLines().back().find("T22:00:"));

    EXPECT_FALSE(handset::setClockTimeOfDay(24, 0));
    EXPECT_FALSE(handset::setClockTimeOfDay(12, 60));
    ASSERT_TRUE(handset::resetClock());
    EXPECT_EQ(0, handset::clockOffset().count());
}

TEST_F(DeviceTest, AFasterClockGoesOnFromTheTimeItShows)
{
    ASSERT_TRUE(handset::setClockTimeOfDay(22, 0));
    ASSERT_TRUE(handset::setClockRate(1000));
    EXPECT_EQ(1000.0, handset::clockRate());
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(22, now.wHour) << "changing the pace keeps the time of day";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    GetLocalTime(&now);
    EXPECT_GE(now.wMinute * 60 + now.wSecond, 200) << "200 ms of the host are 200 s of the device";

    EXPECT_FALSE(handset::setClockRate(0));
    EXPECT_FALSE(handset::setClockRate(-2));
    ASSERT_TRUE(handset::resetClock());
    EXPECT_EQ(1.0, handset::clockRate());
}

}  // namespace
