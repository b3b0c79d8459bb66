#include "sound/script.h"

#include <handset/wstring.h>

#include <gtest/gtest.h>

namespace {

using handset::sound::nextStep;
using handset::sound::parseScript;
using handset::sound::Step;
using Kind = Step::Kind;

// The script of a profile with vibrate-before-ring, increasing ring and
// vibration: every letter the phone's ring settings are written with.
TEST(RingScript, ReadsEveryLetterWithItsNumber)
{
    const auto script = parseScript(u"v2w2c50aV0pC150w3r");
    const std::vector<std::pair<Kind, unsigned>> expected = {
        {Kind::Vibrate, 2}, {Kind::Wait, 2},   {Kind::Crescendo, 50}, {Kind::AudioOn, 0}, {Kind::Vibrate, 0},
        {Kind::Play, 0},    {Kind::Crescendo, 150}, {Kind::Wait, 3},  {Kind::Repeat, 0},
    };
    ASSERT_EQ(expected.size(), script.steps.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].first, script.steps[i].kind);
        EXPECT_EQ(expected[i].second, script.steps[i].number);
    }
    EXPECT_TRUE(script.ignored.empty());
}

TEST(RingScript, SkipsWhatItDoesNotKnowAndBoundsNumbers)
{
    const auto script = parseScript(u"ax p w99999999999 c");
    ASSERT_EQ(4u, script.steps.size());
    EXPECT_EQ(handset::sound::kMaxScriptNumber, script.steps[2].number);
    EXPECT_EQ(100u, script.steps[3].number) << "a crescendo without a number keeps the loudness";
    EXPECT_EQ("x   ", script.ignored);
    EXPECT_TRUE(parseScript(u"").steps.empty());
}

TEST(RingScript, RepeatGoesBackToWhereTheAudioCameOn)
{
    const auto custom = parseScript(u"v2w2v2w2apw3r").steps;
    EXPECT_EQ(5u, nextStep(custom, 7)) << "the vibration before the ring is not repeated";
    EXPECT_EQ(1u, nextStep(custom, 0));

    const auto noAudio = parseScript(u"w1r").steps;
    EXPECT_EQ(0u, nextStep(noAudio, 1)) << "without an 'a' the whole script repeats";

    // A loop of steps that take no time would never let the ring stop.
    for (const char16_t* spin : {u"ar", u"aw0r", u"r", u"av0c50r"}) {
        SCOPED_TRACE(handset::toUtf8(spin));
        const auto steps = parseScript(spin).steps;
        EXPECT_EQ(steps.size(), nextStep(steps, steps.size() - 1));
    }
}

}  // namespace
