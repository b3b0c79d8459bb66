// The call log: what the radio records, as the phone's call log functions
// read it back, and a log that is full or damaged.
#include <handset/phone.h>

#include <fstream>

#include <gtest/gtest.h>

#include <handset/device.h>

#include "calllog/calllog.h"
#include "test_device.h"

namespace {

using handset::calllog::Entry;
using handset::calllog::Outcome;

class CallLogTest : public handset::testing::DeviceTest {};

Entry call(std::u16string number, Outcome outcome, std::int64_t start)
{
    Entry entry;
    entry.number = std::move(number);
    entry.callerIdType = CALLERIDTYPE_AVAILABLE;
    entry.outcome = outcome;
    entry.start = start;
    entry.end = start + 50'000'000;  // five seconds later
    return entry;
}

std::int64_t value(const FILETIME& time)
{
    return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

// The numbers of the log's entries, newest first.
std::vector<std::u16string> numbers()
{
    HANDLE log = nullptr;
    EXPECT_EQ(S_OK, PhoneOpenCallLog(&log));
    std::vector<std::u16string> found;
    CALLLOGENTRY entry{};
    entry.cbSize = sizeof entry;
    while (PhoneGetCallLogEntry(log, &entry) == S_OK) {
        found.push_back(entry.pszNumber ? entry.pszNumber : u"-");
        LocalFree(entry.pszNumber);
        LocalFree(entry.pszName);
        LocalFree(entry.pszNameType);
    }
    EXPECT_EQ(S_OK, PhoneCloseCallLog(log));
    return found;
}

TEST_F(CallLogTest, CallsReadBackNewestFirstWithHowTheyWent)
{
    // No call yet: an empty log, not a failure.
    EXPECT_TRUE(numbers().empty());

    Entry answered = call(u"5550101", Outcome::Answered, 1000);
    answered.name = u"Anna Berg";
    answered.nameType = u"m";
    ASSERT_EQ("", handset::calllog::record(answered));
    ASSERT_EQ("", handset::calllog::record(call(u"5550102", Outcome::Rejected, 2000)));
    Entry hidden = call(u"", Outcome::Missed, 3000);
    hidden.number.reset();
    hidden.callerIdType = CALLERIDTYPE_UNAVAILABLE;
    ASSERT_EQ("", handset::calllog::record(hidden));

    HANDLE log = nullptr;
    ASSERT_EQ(S_OK, PhoneOpenCallLog(&log));
    CALLLOGENTRY entry{};
    entry.cbSize = sizeof entry;
    ASSERT_EQ(S_OK, PhoneGetCallLogEntry(log, &entry));  // the newest: no caller ID, missed
    EXPECT_EQ(nullptr, entry.pszNumber);
    EXPECT_EQ(IOM_MISSED, entry.iom);
    EXPECT_EQ(CALLERIDTYPE_UNAVAILABLE, entry.cidt);
    EXPECT_FALSE(entry.fConnected);
    EXPECT_TRUE(entry.fEnded);

    ASSERT_EQ(S_OK, PhoneGetCallLogEntry(log, &entry));  // rejected: incoming, never connected, not ended normally
    EXPECT_EQ(u"5550102", std::u16string(entry.pszNumber));
    EXPECT_EQ(IOM_INCOMING, entry.iom);
    EXPECT_FALSE(entry.fConnected);
    EXPECT_FALSE(entry.fEnded);
    LocalFree(entry.pszNumber);

    ASSERT_EQ(S_OK, PhoneGetCallLogEntry(log, &entry));
    EXPECT_EQ(u"Anna Berg", std::u16string(entry.pszName));
    EXPECT_EQ(u"m", std::u16string(entry.pszNameType));
    EXPECT_EQ(IOM_INCOMING, entry.iom);
    EXPECT_TRUE(entry.fConnected);
    EXPECT_EQ(1000, value(entry.ftStartTime));
    EXPECT_EQ(1000 + 50'000'000, value(entry.ftEndTime));
    LocalFree(entry.pszNumber);
    LocalFree(entry.pszName);
    LocalFree(entry.pszNameType);
    EXPECT_EQ(S_FALSE, PhoneGetCallLogEntry(log, &entry));

    // Seeking from either end names the record counted from the newest.
    DWORD record = 99;
    ASSERT_EQ(S_OK, PhoneSeekCallLog(log, CALLLOGSEEK_END, 0, &record));
    EXPECT_EQ(2u, record);
    ASSERT_EQ(S_OK, PhoneGetCallLogEntry(log, &entry));
    EXPECT_EQ(u"5550101", std::u16string(entry.pszNumber));
    LocalFree(entry.pszNumber);
    LocalFree(entry.pszName);
    LocalFree(entry.pszNameType);
    ASSERT_EQ(S_OK, PhoneSeekCallLog(log, CALLLOGSEEK_BEGINNING, 1, &record));
    EXPECT_EQ(1u, record);
    EXPECT_EQ(E_FAIL, PhoneSeekCallLog(log, CALLLOGSEEK_BEGINNING, 3, &record));

    entry.cbSize = 4;
    EXPECT_EQ(E_INVALIDARG, PhoneGetCallLogEntry(log, &entry));
    EXPECT_EQ(S_OK, PhoneCloseCallLog(log));
    EXPECT_EQ(E_HANDLE, PhoneCloseCallLog(log));
}

TEST_F(CallLogTest, AFullLogForgetsItsOldestAndADamagedOneIsSetAside)
{
    for (std::size_t i = 0; i <= handset::calllog::kMaxEntries; ++i)
        ASSERT_EQ("", handset::calllog::record(call(std::u16string(u"n") + char16_t(u'0' + i % 10), Outcome::Missed,
                                                    static_cast<std::int64_t>(i))));
    std::vector<Entry> entries;
    ASSERT_EQ("", handset::calllog::readAll(entries));
    ASSERT_EQ(handset::calllog::kMaxEntries, entries.size());
    EXPECT_EQ(static_cast<std::int64_t>(handset::calllog::kMaxEntries), entries.front().start);
    EXPECT_EQ(1, entries.back().start);  // the very first call is forgotten

    // A log overwritten with rubbish: reading fails, and the next call is
    // recorded in a new log while the damaged one is kept beside it.
    const auto path = handset::deviceRoot() / "calllog.db";
    std::filesystem::remove(path.string() + "-wal");
    std::filesystem::remove(path.string() + "-shm");
    std::ofstream(path, std::ios::trunc | std::ios::binary) << std::string(8192, 'x');
    HANDLE log = nullptr;
    EXPECT_EQ(E_FAIL, PhoneOpenCallLog(&log));
    ASSERT_EQ("", handset::calllog::record(call(u"5550199", Outcome::Answered, 9)));
    EXPECT_EQ(std::vector<std::u16string>{u"5550199"}, numbers());
    EXPECT_TRUE(std::filesystem::exists(path.string() + ".damaged"));
}

}  // namespace
