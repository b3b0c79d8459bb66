#include <handset/wstring.h>

#include <gtest/gtest.h>

namespace {

using handset::foldCase;
using handset::fromUtf8;
using handset::toUtf8;

TEST(WideStringTest, RoundTripsEveryPlane)
{
    const std::u16string text = u"Ring \u00e9\u4e2d \U0001F514 end";
    EXPECT_EQ(text, fromUtf8(toUtf8(text)));
    EXPECT_EQ("Ring \xc3\xa9\xe4\xb8\xad \xf0\x9f\x94\x94 end", toUtf8(text));
}

TEST(WideStringTest, BrokenInputBecomesReplacementCharacters)
{
    // Unpaired surrogates on the way out, and on the way in a stray
    // continuation byte, a truncated sequence, an overlong form and an
    // encoded surrogate: none may vanish silently or swallow what follows.
    EXPECT_EQ("a\xef\xbf\xbd" "b", toUtf8(std::u16string{u'a', char16_t(0xD800), u'b'}));
    EXPECT_EQ(u"a\uFFFDb", fromUtf8("a\x80" "b"));
    EXPECT_EQ(u"a\uFFFDb", fromUtf8("a\xe4\xb8" "b"));
    EXPECT_EQ(u"\uFFFD/", fromUtf8("\xc0\xaf/"));
    EXPECT_EQ(u"\uFFFD", fromUtf8("\xed\xa0\x80"));
    EXPECT_EQ(u"\uFFFD", fromUtf8("\xf4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(WideStringTest, FoldsCaseBeyondAscii)
{
    EXPECT_EQ(foldCase(u"Software\\Quorrel"), foldCase(u"SOFTWARE\\quorrel"));
    EXPECT_EQ(foldCase(u"\u00e4rger \u0436"), foldCase(u"\u00c4RGER \u0416"));
    EXPECT_NE(foldCase(u"a"), foldCase(u"b"));
    // Folding never changes a string's length, so sizes stay predictable.
    const std::u16string mixed = u"\u00df\uFB00\U0001F514";
    EXPECT_EQ(mixed.size(), foldCase(mixed).size());
}

}  // namespace
