// The call monitor on a radio in the test process: which line it watches,
// and which events of a call make it write the ring settings, with which
// caller ID.
#include "call_monitor.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <handset/log.h>
#include <handset/radio.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/caller.h>

#include "contacts_device.h"

namespace {

using handset::radio::CallerIdOrder;
using handset::radio::CallReport;
using handset::radio::IncomingCall;
using handset::radio::LineDevice;

constexpr char16_t kAnna[] = u"+49 151 1234567";
constexpr char16_t kAnnaTone[] = u"\\My Documents\\My Ringtones\\Anna.wav";
constexpr char16_t kNoIdTone[] = u"\\Windows\\NoCallerId.wav";
constexpr char16_t kUnknownTone[] = u"\\Windows\\Unknown.wav";

CallReport info(DWORD mask)
{
    return {LINE_CALLINFO, mask};
}

IncomingCall callWith(std::optional<std::u16string> callerId, std::vector<CallReport> reports)
{
    IncomingCall call;
    call.callerId = std::move(callerId);
    call.reports = std::move(reports);
    return call;
}

// What the phone rang with, and how often the ring settings were written
// during the call.
struct Ring {
    std::u16string sound;
    std::u16string script;
    DWORD volume = 0;
    int writes = 0;
};

class CallMonitorTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ContactsDeviceTest::SetUp();
        settings::resetProfiles();
        settings::writeClassRingTone(settings::NoCallerId, kNoIdTone);
        settings::writeClassRingTone(settings::UnknownCaller, kUnknownTone);
        for (const char16_t* path : {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\SoundCategories\\Ring"}) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
        handset::contacts::ContactChanges anna;
        anna.firstName = u"Anna";
        anna.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, kAnna}};
        anna.ringTone = kAnnaTone;
        addContact(anna);
        tolvane::setCallMonitorContacts(app_);
    }

    void TearDown() override
    {
        EXPECT_EQ(0, tolvane::stopCallMonitor());
        tolvane::setCallMonitorContacts(nullptr);
        radio_.reset();
        ContactsDeviceTest::TearDown();
    }

    void startRadio(std::vector<LineDevice> lines)
    {
        auto started = handset::radio::Server::start(handset::radio::socketPath(), std::move(lines));
        ASSERT_TRUE(started.ok()) << started.error;
        radio_ = std::move(started.server);
    }

    void startWatching(std::vector<LineDevice> lines = {{u"Cellular Line"}})
    {
        startRadio(std::move(lines));
        ASSERT_EQ(0, tolvane::startCallMonitor(nullptr));
    }

    static int ringWrites()
    {
        std::ifstream in(handset::deviceLogPath());
        int count = 0;
        for (std::string line; std::getline(in, line);)
            count += line.find(" audio: reloaded sound settings") != std::string::npos;
        return count;
    }

    Ring call(const IncomingCall& incoming)
    {
        const int before = ringWrites();
        const auto result = radio_->offerCall(radio_->cellularLine(), incoming);
        EXPECT_TRUE(result.ok());
        EXPECT_EQ(0u, result.linesLate);
        return {result.ring.sound, result.ring.script, result.ring.volume.value_or(0xdeadbeef), ringWrites() - before};
    }

    std::unique_ptr<handset::radio::Server> radio_;
};

TEST_F(CallMonitorTest, WatchesTheLastLineNamedCellularLineElseDeviceZero)
{
    struct Case {
        const char* what;
        std::vector<LineDevice> lines;
        DWORD opened;
    };
    std::vector<LineDevice> oldCellular = {{u"Modem"}, {u"Cellular Line"}};
    oldCellular[1].highestApiVersion = 0x00010004;  // negotiation fails: skipped
    std::vector<LineDevice> brokenCellular = {{u"Modem"}, {u"Cellular Line"}};
    brokenCellular[1].devCapsError = LINEERR_OPERATIONFAILED;
    const Case cases[] = {
        {"the third device", {{u"Modem"}, {u"Bluetooth"}, {u"Cellular Line"}}, 2},
        {"no such name", {{u"Modem"}, {u"Bluetooth"}}, 0},
        {"another case", {{u"Modem"}, {u"cellular line"}, {u"CELLULAR LINE"}}, 0},
        {"a name that only begins alike", {{u"Modem"}, {u"Cellular Line 2"}}, 0},
        {"two of that name", {{u"Cellular Line"}, {u"Modem"}, {u"Cellular Line"}, {u"Fax"}}, 2},
        {"a device whose version does not fit", oldCellular, 0},
        {"a device whose capabilities fail", brokenCellular, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startRadio(c.lines);
        ASSERT_EQ(0, tolvane::startCallMonitor(nullptr));
        const auto open = radio_->openLines();
        ASSERT_EQ(1u, open.size());
        EXPECT_EQ(c.opened, open[0].deviceId);
        EXPECT_EQ(LINECALLPRIVILEGE_MONITOR, open[0].privileges);
        EXPECT_EQ(0x00020000u, open[0].apiVersion);
        EXPECT_EQ(0, tolvane::stopCallMonitor());
        EXPECT_TRUE(radio_->openLines().empty());
        radio_.reset();
    }
}

TEST_F(CallMonitorTest, AFailedStartLeavesTheMonitorStopped)
{
    // No radio: lineInitialize fails.
    EXPECT_EQ(LINEERR_OPERATIONFAILED, tolvane::startCallMonitor(nullptr));
    EXPECT_EQ(0, tolvane::stopCallMonitor());

    // No device at all: device 0 cannot be opened.
    startRadio({});
    EXPECT_EQ(LINEERR_BADDEVICEID, tolvane::startCallMonitor(nullptr));
    EXPECT_TRUE(radio_->openLines().empty());
    radio_.reset();

    // Device 0, taken for want of a cellular line, does not speak 2.0.
    std::vector<LineDevice> old = {{u"Modem"}};
    old[0].highestApiVersion = 0x00010004;
    startRadio(old);
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, tolvane::startCallMonitor(nullptr));
    radio_.reset();

    // A later start works.
    startWatching();
    EXPECT_EQ(1u, radio_->openLines().size());
}

TEST_F(CallMonitorTest, TheRingFollowsTheOrderOfTheEvents)
{
    startWatching();
    struct Case {
        const char* what;
        IncomingCall call;
        const char16_t* sound;
        int writes;
    };
    const Case cases[] = {
        // A phone's radio: first without caller ID, then with the number; the last wins.
        {"media mode, then caller ID", IncomingCall::standard(kAnna), kAnnaTone, 2},
        // The media mode after the caller ID changes nothing.
        {"caller ID, then media mode", IncomingCall::standard(kAnna, CallerIdOrder::CallerIdFirst), kAnnaTone, 1},
        {"media mode alone", IncomingCall::standard(std::nullopt), kNoIdTone, 1},
        {"an unknown number", IncomingCall::standard(u"+44 20 7946 0018"), kUnknownTone, 2},
        // The caller ID reported with another change still counts.
        {"caller ID with the bearer mode", callWith(kAnna, {info(LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_BEARERMODE)}),
         kAnnaTone, 1},
        {"caller ID and media mode at once", callWith(kAnna, {info(LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_MEDIAMODE)}),
         kAnnaTone, 1},
        {"media mode with another change", callWith(std::nullopt, {info(LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_RATE)}),
         kNoIdTone, 1},
        {"caller ID, then media mode with another change",
         callWith(kAnna, {info(LINECALLINFOSTATE_CALLERID), info(LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_RATE)}),
         kAnnaTone, 1},
        // Whatever comes between, a call that reported its caller ID keeps it.
        {"caller ID, another change, then media mode",
         callWith(kAnna, {info(LINECALLINFOSTATE_CALLERID), info(LINECALLINFOSTATE_OTHER),
                          {LINE_CALLSTATE, LINECALLSTATE_OFFERING}, info(LINECALLINFOSTATE_MEDIAMODE)}),
         kAnnaTone, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Ring ring = call(c.call);
        EXPECT_EQ(std::u16string(c.sound), ring.sound);
        EXPECT_EQ(u"apw3r", ring.script);
        EXPECT_EQ(3u, ring.volume);
        EXPECT_EQ(c.writes, ring.writes);
    }
}

TEST_F(CallMonitorTest, EventsThatReportNeitherLeaveTheSettingsAlone)
{
    startWatching();
    ASSERT_EQ(kAnnaTone, call(IncomingCall::standard(kAnna)).sound);
    const Ring ring = call(callWith(u"0301234567", {info(LINECALLINFOSTATE_BEARERMODE), info(LINECALLINFOSTATE_OTHER),
                                                    {LINE_CALLSTATE, LINECALLSTATE_CONNECTED}}));
    EXPECT_EQ(0, ring.writes);
    EXPECT_EQ(kAnnaTone, ring.sound);
}

TEST_F(CallMonitorTest, ACallWithoutCallerIdNeverRingsWithThePreviousCallersSettings)
{
    // A muted caller first: silence.
    handset::contacts::ContactChanges muted;
    muted.phones = {{PIMPR_HOME_TELEPHONE_NUMBER, u"030 7654321"}};
    muted.ringTone = u"\\My Documents\\Muted.wav";
    muted.priority = settings::PriorityMute;
    addContact(muted);
    startWatching();
    Ring ring = call(IncomingCall::standard(u"030 7654321"));
    EXPECT_EQ(u"\\My Documents\\Muted.wav", ring.sound);
    EXPECT_EQ(0u, ring.volume);
    EXPECT_EQ(u"", ring.script);

    // The next call has no caller ID; the caller ID that ended the last call
    // says nothing about it.
    for (CallerIdOrder order : {CallerIdOrder::MediaModeFirst, CallerIdOrder::CallerIdFirst}) {
        call(IncomingCall::standard(u"030 7654321", order));
        ring = call(IncomingCall::standard(std::nullopt));
        EXPECT_EQ(kNoIdTone, ring.sound);
        EXPECT_EQ(3u, ring.volume);
        EXPECT_EQ(u"apw3r", ring.script);
        EXPECT_EQ(1, ring.writes);
    }
}

TEST_F(CallMonitorTest, TheReportsOfTwoCallsNeverMix)
{
    // Two calls' reports interleaved, as the line delivers them to the
    // callback: the second call's media mode applies "no caller ID" for it,
    // and the first call's media mode, after its caller ID, applies nothing.
    startWatching();
    const HCALL first = 0x7001, second = 0x7002;
    const int before = ringWrites();
    tolvane::onLineEvent(first, LINE_CALLINFO, 0, LINECALLINFOSTATE_CALLERID, 0, 0);
    tolvane::onLineEvent(second, LINE_CALLINFO, 0, LINECALLINFOSTATE_MEDIAMODE, 0, 0);
    tolvane::onLineEvent(first, LINE_CALLINFO, 0, LINECALLINFOSTATE_MEDIAMODE, 0, 0);
    EXPECT_EQ(2, ringWrites() - before);
}

TEST_F(CallMonitorTest, ACallerIdIsCutAt255Characters)
{
    // A number of 300 digits whose first 255 are a contact's: the lookup
    // sees only those 255 and finds the contact.
    std::u16string digits;
    while (digits.size() < 300)
        digits += u"123456789";
    digits.resize(300);
    handset::contacts::ContactChanges longNumber;
    longNumber.phones = {{PIMPR_CAR_TELEPHONE_NUMBER, digits.substr(0, 255)}};
    longNumber.ringTone = u"\\My Documents\\Long.wav";
    addContact(longNumber);
    startWatching();

    EXPECT_EQ(u"\\My Documents\\Long.wav", call(IncomingCall::standard(digits)).sound);
    // The same 255 digits as the whole number, to show the contact is found by them.
    EXPECT_EQ(u"\\My Documents\\Long.wav", call(IncomingCall::standard(digits.substr(0, 255))).sound);
    EXPECT_EQ(kUnknownTone, call(IncomingCall::standard(digits.substr(0, 254))).sound);
}

TEST_F(CallMonitorTest, NoEventReachesTheServiceAfterStop)
{
    startWatching();
    ASSERT_EQ(kAnnaTone, call(IncomingCall::standard(kAnna)).sound);
    EXPECT_EQ(0, tolvane::stopCallMonitor());
    EXPECT_EQ(0, tolvane::stopCallMonitor());  // stopping twice is harmless
    EXPECT_TRUE(radio_->openLines().empty());

    const auto result = radio_->offerCall(0, IncomingCall::standard(std::nullopt));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(0u, result.linesReached);
    EXPECT_EQ(kAnnaTone, result.ring.sound);

    // And it starts again afterwards.
    ASSERT_EQ(0, tolvane::startCallMonitor(nullptr));
    EXPECT_EQ(kNoIdTone, call(IncomingCall::standard(std::nullopt)).sound);
}

}  // namespace
