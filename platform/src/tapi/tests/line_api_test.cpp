// The line functions against a radio in the test process: their codes, the
// size rules of the variable-size structures, and how events are delivered.
#include <handset/tapi.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include <handset/log.h>
#include <handset/radio.h>

#include "line_recorder.h"

namespace {

using handset::radio::CallerIdOrder;
using handset::radio::IncomingCall;
using handset::radio::LineDevice;
using tapitest::RecordedEvent;
using tapitest::Recorder;
using tapitest::recordingCallback;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xbd;

// A buffer for a variable-size structure: filled with kFill, its total
// size set, with room beyond it to see that nothing is written there.
template <typename Structure>
struct Buffer {
    explicit Buffer(DWORD total) : bytes(total + 64, kFill)
    {
        get()->dwTotalSize = total;
    }
    Structure* get() { return reinterpret_cast<Structure*>(bytes.data()); }
    Structure* operator->() { return get(); }
    bool untouchedFrom(std::size_t offset) const
    {
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end(),
                           [](BYTE b) { return b == kFill; });
    }
    std::u16string textAt(DWORD offset, DWORD size) const
    {
        std::u16string text(size / 2, u'\0');
        std::memcpy(text.data(), bytes.data() + offset, size);
        return text;
    }
    std::vector<BYTE> bytes;
};

class LineApiTest : public tapitest::RadioTest {
protected:
    void TearDown() override
    {
        for (HLINEAPP app : apps_)
            lineShutdown(app);
        RadioTest::TearDown();
    }

    HLINEAPP initialize(DWORD* devices = nullptr)
    {
        HLINEAPP app = 0;
        DWORD count = 0;
        EXPECT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &count));
        if (devices)
            *devices = count;
        if (app)
            apps_.push_back(app);
        return app;
    }

    HLINE open(HLINEAPP app, DWORD device, DWORD privileges, DWORD instance, DWORD version = 0x00020000)
    {
        HLINE line = 0;
        EXPECT_EQ(0, lineOpen(app, device, &line, version, 0, instance, privileges, LINEMEDIAMODE_INTERACTIVEVOICE,
                              nullptr));
        return line;
    }

    std::string log() const
    {
        std::ifstream in(handset::deviceLogPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<HLINEAPP> apps_;
};

TEST_F(LineApiTest, InitializeReportsTheDevicesAndShutdownEndsTheApplication)
{
    // Without a radio there is no telephony.
    HLINEAPP app = kSentinel;
    DWORD devices = kSentinel;
    EXPECT_EQ(LINEERR_OPERATIONFAILED, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    EXPECT_EQ(kSentinel, app);
    EXPECT_EQ(kSentinel, devices);

    startRadio(named({u"Modem", u"Bluetooth", u"Cellular Line"}));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineInitialize(nullptr, nullptr, recordingCallback, nullptr, &devices));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineInitialize(&app, nullptr, nullptr, nullptr, &devices));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineInitialize(&app, nullptr, recordingCallback, nullptr, nullptr));

    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, u"ignored", &devices));
    EXPECT_NE(0u, app);
    EXPECT_EQ(3u, devices);
    HLINEAPP second = 0;
    ASSERT_EQ(0, lineInitialize(&second, nullptr, recordingCallback, nullptr, &devices));
    EXPECT_NE(app, second);

    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineShutdown(app));
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00020000, &version, &extension));
    EXPECT_EQ(0, lineShutdown(second));
}

TEST_F(LineApiTest, NegotiationPicksTheHighestCommonVersion)
{
    std::vector<LineDevice> lines = named({u"Cellular Line", u"Old Line"});
    lines[1].highestApiVersion = 0x00010004;
    startRadio(lines);
    const HLINEAPP app = initialize();

    struct Case {
        DWORD device, low, high;
        LONG rc;
        DWORD version;
    };
    const Case cases[] = {
        {0, 0x00020000, 0x00020000, 0, 0x00020000},
        {0, 0x00010004, 0x00030000, 0, 0x00020000},
        {0, 0x00010004, 0x00010004, 0, 0x00010004},
        {1, 0x00010004, 0x00020000, 0, 0x00010004},
        {1, 0x00020000, 0x00020000, LINEERR_INCOMPATIBLEAPIVERSION, kSentinel},
        {0, 0x00020001, 0x00030000, LINEERR_INCOMPATIBLEAPIVERSION, kSentinel},
        {0, 0x00010000, 0x00010003, LINEERR_INCOMPATIBLEAPIVERSION, kSentinel},
        {0, 0x00020000, 0x00010004, LINEERR_INCOMPATIBLEAPIVERSION, kSentinel},
        {2, 0x00020000, 0x00020000, LINEERR_BADDEVICEID, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "device " << c.device << " low " << std::hex << c.low << " high "
                                          << c.high);
        DWORD version = kSentinel;
        LINEEXTENSIONID extension;
        std::memset(&extension, kFill, sizeof extension);
        EXPECT_EQ(c.rc, lineNegotiateAPIVersion(app, c.device, c.low, c.high, &version, &extension));
        EXPECT_EQ(c.version, version);
        if (c.rc == 0) {
            EXPECT_EQ(0u, extension.dwExtensionID0 | extension.dwExtensionID1 | extension.dwExtensionID2 |
                              extension.dwExtensionID3);
        }
    }
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    EXPECT_EQ(LINEERR_INVALPOINTER, lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00020000, nullptr, &extension));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00020000, &version, nullptr));
}

TEST_F(LineApiTest, DevCapsFollowTheSizeRules)
{
    std::vector<LineDevice> lines = named({u"Cellular Line", u"Broken"});
    lines[1].devCapsError = LINEERR_NODEVICE;
    startRadio(lines);
    const HLINEAPP app = initialize();
    const DWORD nameBytes = sizeof(u"Cellular Line");  // 14 characters with the terminator
    const DWORD fixed20 = sizeof(LINEDEVCAPS);
    const DWORD fixed14 = offsetof(LINEDEVCAPS, dwSettableDevStatus);
    ASSERT_EQ(252u, fixed20);
    ASSERT_EQ(240u, fixed14);

    struct Case {
        DWORD version;
        DWORD total;
        LONG rc;
        bool nameFits;
    };
    const Case cases[] = {
        {0x00020000, fixed20 - 1, LINEERR_STRUCTURETOOSMALL, false},
        {0x00020000, fixed20, 0, false},
        {0x00020000, fixed20 + nameBytes - 1, 0, false},
        {0x00020000, fixed20 + nameBytes, 0, true},
        {0x00020000, 292, 0, true},
        {0x00010004, fixed14 - 1, LINEERR_STRUCTURETOOSMALL, false},
        {0x00010004, fixed14, 0, false},
        {0x00010004, fixed14 + nameBytes, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "version " << std::hex << c.version << std::dec << " total " << c.total);
        const DWORD fixed = c.version == 0x00020000 ? fixed20 : fixed14;
        Buffer<LINEDEVCAPS> caps(c.total);
        EXPECT_EQ(c.rc, lineGetDevCaps(app, 0, c.version, 0, caps.get()));
        if (c.rc != 0) {
            EXPECT_TRUE(caps.untouchedFrom(sizeof(DWORD)));
            continue;
        }
        EXPECT_EQ(c.total, caps->dwTotalSize);
        EXPECT_EQ(fixed + nameBytes, caps->dwNeededSize);
        EXPECT_EQ(STRINGFORMAT_UNICODE, caps->dwStringFormat);
        EXPECT_EQ(0u, caps->dwPermanentLineID);
        EXPECT_EQ(LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, caps->dwMediaModes);
        if (c.nameFits) {
            EXPECT_EQ(fixed + nameBytes, caps->dwUsedSize);
            EXPECT_EQ(fixed, caps->dwLineNameOffset);
            EXPECT_EQ(nameBytes, caps->dwLineNameSize);
            EXPECT_EQ(std::u16string(u"Cellular Line", 14), caps.textAt(fixed, nameBytes));
            EXPECT_TRUE(caps.untouchedFrom(fixed + nameBytes));
        } else {
            EXPECT_EQ(fixed, caps->dwUsedSize);
            EXPECT_EQ(0u, caps->dwLineNameOffset);
            EXPECT_EQ(0u, caps->dwLineNameSize);
            EXPECT_TRUE(caps.untouchedFrom(fixed));
        }
    }

    Buffer<LINEDEVCAPS> caps(512);
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION, lineGetDevCaps(app, 0, 0x00020000, 1, caps.get()));
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, lineGetDevCaps(app, 0, 0x00010003, 0, caps.get()));
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, lineGetDevCaps(app, 0, 0x00030000, 0, caps.get()));
    EXPECT_EQ(LINEERR_NODEVICE, lineGetDevCaps(app, 1, 0x00020000, 0, caps.get()));
    EXPECT_EQ(LINEERR_BADDEVICEID, lineGetDevCaps(app, 2, 0x00020000, 0, caps.get()));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineGetDevCaps(app, 0, 0x00020000, 0, nullptr));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineGetDevCaps(app + 1000, 0, 0x00020000, 0, caps.get()));
    EXPECT_TRUE(caps.untouchedFrom(sizeof(DWORD)));
}

TEST_F(LineApiTest, OpenChecksPrivilegesAndMediaModes)
{
    startRadio(named({u"Cellular Line"}));
    const HLINEAPP app = initialize();
    struct Case {
        DWORD privileges, mediaModes;
        LONG rc;
        DWORD recordedModes;
    };
    const Case cases[] = {
        {LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE, 0, 0},
        {LINECALLPRIVILEGE_MONITOR, 0, 0, 0},  // a monitor takes no calls, so its modes do not count
        {LINECALLPRIVILEGE_NONE, 0, 0, 0},
        {LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE, 0, LINEMEDIAMODE_INTERACTIVEVOICE},
        {LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, 0, LINEMEDIAMODE_DATAMODEM},
        {LINECALLPRIVILEGE_OWNER, 0, LINEERR_INVALMEDIAMODE, 0},
        {LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_G3FAX, LINEERR_INVALMEDIAMODE, 0},
        {LINECALLPRIVILEGE_OWNER, 0x80000000, LINEERR_INVALMEDIAMODE, 0},
        {0, LINEMEDIAMODE_INTERACTIVEVOICE, LINEERR_INVALPRIVSELECT, 0},
        {LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR, 0, LINEERR_INVALPRIVSELECT, 0},
        {0x8, LINEMEDIAMODE_INTERACTIVEVOICE, LINEERR_INVALPRIVSELECT, 0},
    };
    std::vector<handset::radio::OpenLineInfo> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "privileges " << c.privileges << " modes " << c.mediaModes);
        HLINE line = kSentinel;
        EXPECT_EQ(c.rc, lineOpen(app, 0, &line, 0x00020000, 0, 0, c.privileges, c.mediaModes, nullptr));
        if (c.rc == 0) {
            EXPECT_NE(kSentinel, line);
            expected.push_back({0, 0x00020000, c.privileges, c.recordedModes});
        } else {
            EXPECT_EQ(kSentinel, line);
        }
    }
    const auto open = radio_->openLines();
    ASSERT_EQ(expected.size(), open.size());
    for (std::size_t i = 0; i < open.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].privileges, open[i].privileges);
        EXPECT_EQ(expected[i].mediaModes, open[i].mediaModes);
        EXPECT_EQ(expected[i].apiVersion, open[i].apiVersion);
    }

    HLINE line = kSentinel;
    BYTE params[64] = {};
    EXPECT_EQ(LINEERR_BADDEVICEID, lineOpen(app, 1, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION,
              lineOpen(app, 0, &line, 0x00030000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION,
              lineOpen(app, 0, &line, 0x00020000, 1, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    EXPECT_EQ(LINEERR_INVALPARAM, lineOpen(app, 0, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0,
                                           reinterpret_cast<LPLINECALLPARAMS>(params)));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineOpen(app, 0, nullptr, 0x00020000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    EXPECT_EQ(kSentinel, line);
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(kSentinel));
}

TEST_F(LineApiTest, ACallIsReportedToMonitorsAndOwnersOnALibraryThread)
{
    startRadio(named({u"Modem", u"Cellular Line"}));
    const HLINEAPP watcher = initialize();
    const HLINEAPP phone = initialize();
    const HLINE monitorLine = open(watcher, 1, LINECALLPRIVILEGE_MONITOR, 11);
    const HLINE ownerLine = open(phone, 1, LINECALLPRIVILEGE_OWNER, 22);
    open(phone, 1, LINECALLPRIVILEGE_NONE, 33);                      // outgoing calls only
    const HLINE otherDevice = open(watcher, 0, LINECALLPRIVILEGE_MONITOR, 44);  // another line
    (void)otherDevice;

    const auto result = radio_->offerCall(1, IncomingCall::standard(u"+49 151 1234567"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(2u, result.linesReached);
    EXPECT_EQ(0u, result.linesLate);

    struct Expected {
        DWORD message, param1, param2, param3;
    };
    for (const auto& [instance, line, privilege] :
         {std::tuple{11u, monitorLine, LINECALLPRIVILEGE_MONITOR}, std::tuple{22u, ownerLine, LINECALLPRIVILEGE_OWNER}}) {
        SCOPED_TRACE(instance);
        const std::vector<RecordedEvent> events = Recorder::get().eventsOf(instance);
        ASSERT_EQ(6u, events.size());
        // The new call names the line and hands out the call's handle.
        EXPECT_EQ(line, events[0].device);
        EXPECT_EQ(LINE_APPNEWCALL, events[0].message);
        EXPECT_EQ(0u, events[0].param1);
        const HCALL call = events[0].param2;
        EXPECT_NE(0u, call);
        EXPECT_EQ(privilege, events[0].param3);
        const Expected rest[] = {
            {LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE, 0},
            {LINE_CALLINFO, LINECALLINFOSTATE_MEDIAMODE, 0, 0},
            {LINE_CALLINFO, LINECALLINFOSTATE_CALLERID, 0, 0},
            {LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER, 0},
            {LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0},
        };
        for (std::size_t i = 0; i < std::size(rest); ++i) {
            SCOPED_TRACE(i + 1);
            EXPECT_EQ(call, events[i + 1].device);
            EXPECT_EQ(rest[i].message, events[i + 1].message);
            EXPECT_EQ(rest[i].param1, events[i + 1].param1);
            EXPECT_EQ(rest[i].param2, events[i + 1].param2);
            EXPECT_EQ(rest[i].param3, events[i + 1].param3);
        }
        for (const RecordedEvent& event : events)
            EXPECT_NE(std::this_thread::get_id(), event.thread);
        // An idle call's handle is gone.
        Buffer<LINECALLINFO> info(1024);
        EXPECT_EQ(LINEERR_INVALCALLHANDLE, lineGetCallInfo(call, info.get()));
    }
    EXPECT_TRUE(Recorder::get().eventsOf(33).empty());
    EXPECT_TRUE(Recorder::get().eventsOf(44).empty());
    // One application's handles never name another's calls.
    EXPECT_NE(Recorder::get().eventsOf(11)[0].param2, Recorder::get().eventsOf(22)[0].param2);
}

TEST_F(LineApiTest, CallInfoShowsWhatWasReportedAndFollowsTheSizeRules)
{
    std::vector<LineDevice> lines = named({u"Cellular Line", u"Old Line"});
    lines[1].highestApiVersion = 0x00010004;
    startRadio(lines);
    const HLINEAPP app = initialize();
    open(app, 0, LINECALLPRIVILEGE_MONITOR, 1);
    open(app, 0, LINECALLPRIVILEGE_OWNER, 2);
    open(app, 1, LINECALLPRIVILEGE_MONITOR, 3, 0x00010004);

    const std::u16string number = u"+49 151 1234567";
    const DWORD numberBytes = static_cast<DWORD>((number.size() + 1) * 2);
    const DWORD fixed20 = sizeof(LINECALLINFO);
    const DWORD fixed14 = offsetof(LINECALLINFO, dwCallTreatment);
    ASSERT_EQ(324u, fixed20);
    ASSERT_EQ(296u, fixed14);
    std::atomic<int> checked{0};

    // Asked from inside the callback, while the radio waits for it.
    Recorder::get().setHook([&](const RecordedEvent& event) {
        if (event.message != LINE_CALLINFO || event.instance == 2)
            return;
        const DWORD fixed = event.instance == 3 ? fixed14 : fixed20;
        const bool callerIdKnown = event.param1 == LINECALLINFOSTATE_CALLERID;
        SCOPED_TRACE(::testing::Message() << "instance " << event.instance << " mask " << event.param1);

        Buffer<LINECALLINFO> tooSmall(fixed - 1);
        EXPECT_EQ(LINEERR_STRUCTURETOOSMALL, lineGetCallInfo(event.device, tooSmall.get()));
        EXPECT_TRUE(tooSmall.untouchedFrom(sizeof(DWORD)));

        Buffer<LINECALLINFO> bare(fixed);
        ASSERT_EQ(0, lineGetCallInfo(event.device, bare.get()));
        EXPECT_EQ(fixed + (callerIdKnown ? numberBytes : 0), bare->dwNeededSize);
        EXPECT_EQ(fixed, bare->dwUsedSize);
        EXPECT_EQ(0u, bare->dwCallerIDSize);
        EXPECT_EQ(0u, bare->dwCallerIDOffset);
        EXPECT_TRUE(bare.untouchedFrom(fixed));

        Buffer<LINECALLINFO> whole(fixed + numberBytes);
        ASSERT_EQ(0, lineGetCallInfo(event.device, whole.get()));
        EXPECT_EQ(event.instance == 3 ? 1u : 0u, whole->dwLineDeviceID);
        EXPECT_EQ(LINEMEDIAMODE_INTERACTIVEVOICE, whole->dwMediaMode);
        EXPECT_EQ(LINECALLSTATE_OFFERING, whole->dwCallStates);
        EXPECT_EQ(LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND, whole->dwOrigin);
        if (event.instance == 1) {
            EXPECT_EQ(1u, whole->dwNumOwners);
            EXPECT_EQ(1u, whole->dwNumMonitors);
        }
        if (callerIdKnown) {
            EXPECT_EQ(LINECALLPARTYID_ADDRESS, whole->dwCallerIDFlags);
            EXPECT_EQ(fixed + numberBytes, whole->dwUsedSize);
            EXPECT_EQ(fixed, whole->dwCallerIDOffset);
            EXPECT_EQ(numberBytes, whole->dwCallerIDSize);
            EXPECT_EQ(number + u'\0', whole.textAt(fixed, numberBytes));
            EXPECT_TRUE(whole.untouchedFrom(fixed + numberBytes));
        } else {
            // The media mode comes first: the caller ID is not known yet.
            EXPECT_EQ(LINECALLPARTYID_UNKNOWN, whole->dwCallerIDFlags);
            EXPECT_EQ(fixed, whole->dwUsedSize);
            EXPECT_EQ(0u, whole->dwCallerIDSize);
        }
        EXPECT_EQ(LINEERR_INVALPOINTER, lineGetCallInfo(event.device, nullptr));
        ++checked;
    });
    ASSERT_TRUE(radio_->offerCall(0, IncomingCall::standard(number)).ok());
    ASSERT_TRUE(radio_->offerCall(1, IncomingCall::standard(number)).ok());
    EXPECT_EQ(4, checked.load());

    // A call without caller ID says so.
    checked = 0;
    Recorder::get().setHook([&](const RecordedEvent& event) {
        if (event.message != LINE_CALLINFO || event.instance != 1)
            return;
        Buffer<LINECALLINFO> info(1024);
        ASSERT_EQ(0, lineGetCallInfo(event.device, info.get()));
        EXPECT_EQ(fixed20, info->dwNeededSize);
        EXPECT_EQ(0u, info->dwCallerIDSize);
        ++checked;
    });
    ASSERT_TRUE(radio_->offerCall(0, IncomingCall::standard(std::nullopt)).ok());
    EXPECT_EQ(1, checked.load());

    Buffer<LINECALLINFO> info(1024);
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, lineGetCallInfo(0, info.get()));
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, lineGetCallInfo(kSentinel, info.get()));
}

TEST_F(LineApiTest, NoEventReachesAClosedLine)
{
    startRadio(named({u"Cellular Line"}));
    const HLINEAPP app = initialize();
    const HLINE closing = open(app, 0, LINECALLPRIVILEGE_MONITOR, 1);
    open(app, 0, LINECALLPRIVILEGE_MONITOR, 2);

    // The line is closed from another thread while its callback runs: the
    // close waits for that callback, and nothing of the line follows it.
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> callbackEnded{false};
    Recorder::get().setHook([&, released](const RecordedEvent& event) {
        if (event.instance == 1 && event.message == LINE_CALLSTATE && event.param1 == LINECALLSTATE_OFFERING) {
            entered.set_value();
            released.wait();
            callbackEnded = true;
        }
    });
    auto call = std::async(std::launch::async, [&] { return radio_->offerCall(0, IncomingCall::standard(u"12345")); });
    entered.get_future().wait();
    std::atomic<bool> closedBeforeCallbackEnded{false};
    auto close = std::async(std::launch::async, [&] {
        EXPECT_EQ(0, lineClose(closing));
        closedBeforeCallbackEnded = !callbackEnded;
    });
    // Time for a close that does not wait to return early; one that waits
    // passes whatever the pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    release.set_value();
    close.get();
    EXPECT_FALSE(closedBeforeCallbackEnded);
    const std::size_t delivered = Recorder::get().eventsOf(1).size();
    ASSERT_TRUE(call.get().ok());
    EXPECT_EQ(delivered, Recorder::get().eventsOf(1).size());
    EXPECT_EQ(2u, delivered);  // the new call and the offering
    EXPECT_EQ(6u, Recorder::get().eventsOf(2).size());
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(closing));

    // After shutdown the application hears nothing at all, also of a call
    // the radio offers before it has noticed the connection go; once it
    // has, a call reaches none of its lines.
    ASSERT_EQ(0, lineShutdown(app));
    apps_.clear();
    ASSERT_TRUE(radio_->offerCall(0, IncomingCall::standard(u"12345")).ok());
    EXPECT_EQ(6u, Recorder::get().eventsOf(2).size());
    for (int waited = 0; waited < 5000 && !radio_->openLines().empty(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(radio_->openLines().empty());
    const auto result = radio_->offerCall(0, IncomingCall::standard(u"12345"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(0u, result.linesReached);
    EXPECT_EQ(6u, Recorder::get().eventsOf(2).size());
}

TEST_F(LineApiTest, AHungCallbackHoldsTheCallOnlyForTheTimeout)
{
    startRadio(named({u"Cellular Line"}), {std::chrono::milliseconds(200)});
    const HLINEAPP hung = initialize();
    const HLINEAPP healthy = initialize();
    open(hung, 0, LINECALLPRIVILEGE_MONITOR, 1);
    open(healthy, 0, LINECALLPRIVILEGE_MONITOR, 2);

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Recorder::get().setHook([released](const RecordedEvent& event) {
        if (event.instance == 1)
            released.wait();
    });
    const auto result = radio_->offerCall(0, IncomingCall::standard(u"12345"));
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(2u, result.linesReached);
    EXPECT_EQ(1u, result.linesLate);
    EXPECT_EQ(6u, Recorder::get().eventsOf(2).size());
    EXPECT_NE(std::string::npos, log().find("did not return from its callback within 200 ms; call 1 goes on without it"));

    // Once it returns it catches up, in order.
    release.set_value();
    EXPECT_TRUE(Recorder::get().waitUntil([](const std::vector<RecordedEvent>& events) {
        return std::count_if(events.begin(), events.end(), [](const RecordedEvent& e) { return e.instance == 1; }) == 6;
    }));
    const auto caughtUp = Recorder::get().eventsOf(1);
    ASSERT_EQ(6u, caughtUp.size());
    EXPECT_EQ(LINE_APPNEWCALL, caughtUp[0].message);
    EXPECT_EQ(LINECALLSTATE_IDLE, caughtUp[5].param1);
}

TEST_F(LineApiTest, LinesAreClosedUnderTheApplicationWhenTheRadioGoes)
{
    startRadio(named({u"Cellular Line"}));
    const HLINEAPP app = initialize();
    const HLINE line = open(app, 0, LINECALLPRIVILEGE_MONITOR, 5);
    radio_.reset();
    ASSERT_TRUE(Recorder::get().waitUntil([](const std::vector<RecordedEvent>& events) { return !events.empty(); }));
    const auto events = Recorder::get().eventsOf(5);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(LINE_CLOSE, events[0].message);
    EXPECT_EQ(line, events[0].device);
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(line));
    Buffer<LINEDEVCAPS> caps(512);
    EXPECT_EQ(LINEERR_OPERATIONFAILED, lineGetDevCaps(app, 0, 0x00020000, 0, caps.get()));
}

}  // namespace
