#include <settings/settings.h>

#include <handset/wstring.h>
#include <test_device.h>

#include "raw_registry.h"

using namespace settings;
using namespace settings_test;

namespace {

const std::u16string kSystemKey = kProductKey + u"\\System";
const std::u16string kCategoriesKey = kProductKey + u"\\Categories";

class TonesTest : public handset::testing::DeviceTest {};

TEST_F(TonesTest, ClassTonesLiveInTheClassKeys)
{
    struct Class {
        CallerClass callerClass;
        std::u16string key;
    } classes[] = {{KnownCaller, u"KnownCaller"}, {UnknownCaller, u"UnknownCaller"}, {NoCallerId, u"NoCallerId"}};
    for (const Class& c : classes) {
        writeClassRingTone(c.callerClass, u"\\Windows\\" + c.key + u" ring.wav");
        writeClassSmsTone(c.callerClass, u"\\Windows\\" + c.key + u" sms.wav");
    }
    for (const Class& c : classes) {
        SCOPED_TRACE(c.callerClass);
        const RawValue ring = queryRaw(kSystemKey + u"\\" + c.key, u"Ring Tone");
        EXPECT_EQ(REG_SZ, ring.type);
        EXPECT_EQ(stringBytes(u"\\Windows\\" + c.key + u" ring.wav"), ring.data);

        TonePath path = u"stale";
        readClassRingTone(c.callerClass, path);
        EXPECT_EQ(u"\\Windows\\" + c.key + u" ring.wav", path);
        readClassSmsTone(c.callerClass, path);
        EXPECT_EQ(u"\\Windows\\" + c.key + u" sms.wav", path);
    }
}

TEST_F(TonesTest, ReadersClearThePathWhenNothingIsSet)
{
    TonePath path = u"stale";
    readClassRingTone(UnknownCaller, path);
    EXPECT_EQ(u"", path);
    path = u"stale";
    readCategorySmsTone(u"Family", path);
    EXPECT_EQ(u"", path);
    EXPECT_EQ(0, readCategoryPriority(u"Family"));
    EXPECT_FALSE(keyExists(kProductKey));  // readers create nothing

    // A key with the other tone only.
    writeClassSmsTone(UnknownCaller, u"\\Windows\\sms.wav");
    writeCategoryRingTone(u"Family", u"\\Windows\\ring.wav");
    path = u"stale";
    readClassRingTone(UnknownCaller, path);
    EXPECT_EQ(u"", path);
    path = u"stale";
    readCategorySmsTone(u"Family", path);
    EXPECT_EQ(u"", path);
    EXPECT_EQ(0, readCategoryPriority(u"Family"));
}

TEST_F(TonesTest, ValuesOutsideTheCallerClassesTouchNothing)
{
    writeClassRingTone(static_cast<CallerClass>(3), u"\\Windows\\ring.wav");
    writeClassSmsTone(static_cast<CallerClass>(-1), u"\\Windows\\sms.wav");
    EXPECT_FALSE(keyExists(kProductKey));

    // Not even a key that looks like the class's number is read.
    setString(kSystemKey + u"\\3", u"Ring Tone", u"\\Windows\\ring.wav");
    TonePath path = u"stale";
    readClassRingTone(static_cast<CallerClass>(3), path);
    EXPECT_EQ(u"", path);
}

TEST_F(TonesTest, TonePathsReadUpToTheSystemCapacity)
{
    for (std::size_t length : {130, 255, 256}) {
        SCOPED_TRACE(length);
        const std::u16string tone = pathOfLength(length);
        const std::u16string expected = length <= 255 ? tone : u"";
        writeClassRingTone(KnownCaller, tone);
        writeCategorySmsTone(u"Family", tone);
        // The writers store any length whole.
        EXPECT_EQ((length + 1) * 2, queryRaw(kSystemKey + u"\\KnownCaller", u"Ring Tone").data.size());

        TonePath path = u"stale";
        readClassRingTone(KnownCaller, path);
        EXPECT_EQ(expected, path);
        path = u"stale";
        readCategorySmsTone(u"Family", path);
        EXPECT_EQ(expected, path);
    }
}

TEST_F(TonesTest, OnlyProperStringsReadAsTones)
{
    const std::u16string tone = u"\\Windows\\a.wav";
    const std::u16string full = pathOfLength(256);
    const std::u16string embedded = tone + u'\0' + u"junk";
    const DWORD number = 1;
    struct Case {
        const char* what;
        DWORD type;
        const void* data;
        std::size_t bytes;
        std::u16string expected;
    } cases[] = {
        {"dword", REG_DWORD, &number, 4, u""},
        {"binary text", REG_BINARY, tone.c_str(), (tone.size() + 1) * 2, u""},
        {"no terminator", REG_SZ, tone.c_str(), tone.size() * 2, tone},
        {"odd size", REG_SZ, tone.c_str(), tone.size() * 2 + 1, tone},
        {"256 characters, no terminator", REG_SZ, full.c_str(), 512, u""},
        {"embedded terminator", REG_SZ, embedded.c_str(), (embedded.size() + 1) * 2, tone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setRaw(kSystemKey + u"\\NoCallerId", u"Ring Tone", c.type, c.data, static_cast<DWORD>(c.bytes));
        TonePath path = u"stale";
        readClassRingTone(NoCallerId, path);
        EXPECT_EQ(c.expected, path);
    }
}

TEST_F(TonesTest, CategoryKeysAreNamedAsTheContactsSpellThem)
{
    writeCategoryRingTone(u"Family & Friends", u"\\Windows\\ring.wav");
    writeCategorySmsTone(u"Family & Friends", u"\\Windows\\sms.wav");
    EXPECT_EQ(2u, valueCount(kCategoriesKey + u"\\Family & Friends"));
    TonePath path;
    readCategorySmsTone(u"Family & Friends", path);
    EXPECT_EQ(u"\\Windows\\sms.wav", path);

    // A contact without a category never reaches the "Categories" key itself.
    writeCategoryRingTone(u"", u"\\Windows\\other.wav");
    writeCategoryPriority(u"", PriorityMute);
    EXPECT_EQ(0u, valueCount(kCategoriesKey));
    setString(kCategoriesKey, u"Ring Tone", u"\\Windows\\other.wav");
    path = u"stale";
    readCategoryRingTone(u"", path);
    EXPECT_EQ(u"", path);
}

TEST_F(TonesTest, CategoryPriorityNeedsTheKeyAndReadsAs16Bits)
{
    writeCategoryPriority(u"Family", PriorityVip);
    EXPECT_FALSE(keyExists(kCategoriesKey + u"\\Family"));
    EXPECT_EQ(0, readCategoryPriority(u"Family"));

    writeCategoryRingTone(u"Family", u"");  // as the category dialog does, tones first
    writeCategoryPriority(u"Family", PriorityVip);
    const RawValue value = queryRaw(kCategoriesKey + u"\\Family", u"Priority");
    EXPECT_EQ(REG_DWORD, value.type);
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), value.data);
    EXPECT_EQ(PriorityVip, readCategoryPriority(u"Family"));

    setDword(kCategoriesKey + u"\\Family", u"Priority", 0x00010002);
    EXPECT_EQ(PriorityMute, readCategoryPriority(u"Family"));
    setString(kCategoriesKey + u"\\Family", u"Priority", u"1");
    EXPECT_EQ(0, readCategoryPriority(u"Family"));
}

// The registry ignores case in key names, so "family" is Family's key: it
// keeps its spelling and its tone, and no second key appears.
TEST_F(TonesTest, EnsuringACategoryKeyFillsOnlyANewKey)
{
    EXPECT_TRUE(ensureCategoryKey(u"Work"));
    EXPECT_EQ(stringBytes(u""), queryRaw(kCategoriesKey + u"\\Work", u"Ring Tone").data);
    EXPECT_EQ(stringBytes(u""), queryRaw(kCategoriesKey + u"\\Work", u"Sms Tone").data);
    const RawValue priority = queryRaw(kCategoriesKey + u"\\Work", u"Priority");
    EXPECT_EQ(REG_DWORD, priority.type);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), priority.data);

    setString(kCategoriesKey + u"\\family", u"Ring Tone", u"\\Windows\\ring.wav");
    setDword(kCategoriesKey + u"\\family", u"Priority", PriorityVip);
    EXPECT_TRUE(ensureCategoryKey(u"Family"));
    EXPECT_TRUE(ensureCategoryKey(u"Work"));  // a second run changes nothing
    TonePath tone;
    readCategoryRingTone(u"Family", tone);
    EXPECT_EQ(u"\\Windows\\ring.wav", tone);
    EXPECT_EQ(PriorityVip, readCategoryPriority(u"Family"));
    EXPECT_FALSE(queryRaw(kCategoriesKey + u"\\Family", u"Sms Tone").rc == ERROR_SUCCESS);

    HKEY categories = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, kCategoriesKey.c_str(), 0, KEY_READ, &categories));
    std::vector<std::u16string> names;
    WCHAR name[260];
    for (DWORD index = 0;; ++index) {
        DWORD length = 260;
        if (RegEnumKeyEx(categories, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(categories);
    EXPECT_EQ((std::vector<std::u16string>{u"family", u"Work"}), names);
    EXPECT_FALSE(ensureCategoryKey(u""));
}

}  // namespace

TEST(MidiPath, ToldByTheEndingInAnyCase)
{
    for (const char16_t* path : {u"Bell.mid", u"\\x\\Bell.MID", u"a.Midi", u".mid", u".midi"}) {
        SCOPED_TRACE(handset::toUtf8(path));
        EXPECT_TRUE(settings::isMidiPath(path));
    }
    for (const char16_t* path : {u"", u"mid", u"Bell.wav", u"Bell.mid.wav", u"Bell.mi", u"Bell_mid", u"Bell.midix"}) {
        SCOPED_TRACE(handset::toUtf8(path));
        EXPECT_FALSE(settings::isMidiPath(path));
    }
}

