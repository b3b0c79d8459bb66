// The radio as a server: its lines from the registry, its socket, what it
// does with frames nobody should send, and calls offered over the socket;
// and the telephony library facing a radio that sends nonsense.
#include <handset/radio.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <fstream>
#include <future>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/log.h>
#include <handset/registry.h>

#include "line_recorder.h"
#include "calllog/calllog.h"
#include "tapi/protocol.h"

namespace {

namespace fs = std::filesystem;
namespace wire = handset::tapi::wire;
using handset::radio::CallReport;
using handset::radio::IncomingCall;
using handset::radio::LineDevice;
using tapitest::RecordedEvent;
using tapitest::Recorder;
using tapitest::recordingCallback;

void setString(HKEY key, const char16_t* name, const std::u16string& text)
{
    RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * 2));
}

HKEY createKey(const std::u16string& path)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr));
    return key;
}

// A connection that speaks the wire protocol by hand.
class RawClient {
public:
    explicit RawClient(const fs::path& socket)
    {
        std::string error;
        fd_ = wire::connectSocket(socket, error);
        EXPECT_GE(fd_, 0) << error;
    }
    ~RawClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    void send(const std::string& bytes) { EXPECT_TRUE(wire::sendAll(fd_, bytes)); }
    void hello() { send(wire::Writer(wire::Type::Hello).u32(1).u32(wire::kProtocolVersion).u32(::getpid()).frame()); }

    // The next frame's body; nothing when the radio closed the connection.
    std::optional<std::string> next()
    {
        for (;;) {
            bool malformed = false;
            if (auto body = frames_.next(malformed))
                return body;
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0)
                return std::nullopt;  // a hang guard: the radio answers at once
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return std::nullopt;
            frames_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // The status of the reply to `request`.
    std::optional<LONG> status(std::uint32_t request)
    {
        while (auto body = next()) {
            wire::Reader in(*body);
            std::uint32_t id = 0, status = 0;
            if (in.type() == wire::Type::Reply && in.u32(id) && in.u32(status) && id == request)
                return static_cast<LONG>(status);
        }
        return std::nullopt;
    }

    // Whether the radio closed the connection (after any frames it sent).
    bool closedByRadio()
    {
        while (next()) {
        }
        char byte;
        return ::recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
    }

private:
    int fd_ = -1;
    wire::FrameBuffer frames_;
};

class RadioServerTest : public tapitest::RadioTest {
protected:
    std::string log() const
    {
        std::ifstream in(handset::deviceLogPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(RadioServerTest, TheLinesAreTheRegistrysNumberedSubkeysInOrder)
{
    auto lines = handset::radio::linesFromRegistry();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(u"Cellular Line", lines[0].name);

    RegCloseKey(createKey(u"Drivers\\Radio\\Lines"));
    EXPECT_TRUE(handset::radio::linesFromRegistry().empty());

    for (const auto& [subkey, name] : {std::pair{u"2", u"Cellular Line"}, std::pair{u"0", u"Modem"},
                                       std::pair{u"10", u"Fax"}, std::pair{u"x", u"not a line"},
                                       std::pair{u"01", u"not a line either"}}) {
        HKEY key = createKey(std::u16string(u"Drivers\\Radio\\Lines\\") + subkey);
        setString(key, u"Name", name);
        if (std::u16string(subkey) == u"10") {
            const DWORD modes = LINEMEDIAMODE_G3FAX;
            RegSetValueEx(key, u"MediaModes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&modes), 4);
        }
        RegCloseKey(key);
    }
    RegCloseKey(createKey(u"Drivers\\Radio\\Lines\\1"));  // a line without a name

    lines = handset::radio::linesFromRegistry();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(u"Modem", lines[0].name);
    EXPECT_EQ(u"", lines[1].name);
    EXPECT_EQ(u"Cellular Line", lines[2].name);
    EXPECT_EQ(u"Fax", lines[3].name);
    EXPECT_EQ(LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, lines[0].mediaModes);
    EXPECT_EQ(LINEMEDIAMODE_G3FAX, lines[3].mediaModes);

    startRadio(lines);
    EXPECT_EQ(2u, radio_->cellularLine());
}

TEST_F(RadioServerTest, OneRadioPerSocketAndAStaleSocketIsReplaced)
{
    const fs::path socket = handset::radio::socketPath();
    startRadio(named({u"Cellular Line"}));
    auto second = handset::radio::Server::start(socket, named({u"Cellular Line"}));
    EXPECT_FALSE(second.ok());
    EXPECT_NE(std::string::npos, second.error.find("a radio already answers")) << second.error;
    radio_.reset();
    EXPECT_FALSE(fs::exists(socket));

    // A socket whose radio died without removing it.
    std::string error;
    const int dead = wire::listenSocket(socket, error);
    ASSERT_GE(dead, 0) << error;
    ::close(dead);
    ASSERT_TRUE(fs::exists(socket));
    startRadio(named({u"Cellular Line"}));

    // A device deep enough that its socket's path does not fit a socket address.
    const fs::path deep = handset::deviceRoot() / std::string(120, 'd') / "radio.sock";
    auto far = handset::radio::Server::start(deep, named({u"Cellular Line"}));
    ASSERT_TRUE(far.ok()) << far.error;
    RawClient client(deep);
    client.hello();
    EXPECT_EQ(std::optional<LONG>(0), client.status(1));
}

TEST_F(RadioServerTest, AFrameThatMakesNoSenseEndsOnlyItsConnection)
{
    startRadio(named({u"Cellular Line"}));
    const fs::path socket = handset::radio::socketPath();
    struct Case {
        const char* what;
        bool greet;
        std::string bytes;
    };
    std::string impossible = wire::Writer(wire::Type::Hello).u32(1).frame();
    impossible[0] = impossible[1] = impossible[2] = impossible[3] = '\xff';
    std::string tooShort("\x02\x00\x00\x00\x01\x00", 6);
    std::string lyingText = wire::Writer(wire::Type::OfferCall).u32(2).u32(1).u32(0x7fffffff).frame();
    const Case cases[] = {
        {"a request before the greeting", false, wire::Writer(wire::Type::GetDevCaps).u32(1).u32(0).u32(0x20000).u32(0).frame()},
        {"an impossible length", false, impossible},
        {"a body shorter than its type", false, tooShort},
        {"a greeting without its fields", false, wire::Writer(wire::Type::Hello).u32(1).frame()},
        {"a text longer than the frame", true, lyingText},
        {"an unknown message", true, wire::Writer(static_cast<wire::Type>(77)).u32(2).frame()},
        {"a call without its reports", true, wire::Writer(wire::Type::OfferCall).u32(2).u32(1).text(u"1").u32(3).u32(1).frame()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawClient client(socket);
        if (c.greet) {
            client.hello();
            EXPECT_EQ(std::optional<LONG>(0), client.status(1));
        }
        client.send(c.bytes);
        EXPECT_TRUE(client.closedByRadio());
    }
    {
        // A protocol the radio does not speak is refused with an answer.
        RawClient client(socket);
        client.send(wire::Writer(wire::Type::Hello).u32(1).u32(99).u32(::getpid()).frame());
        EXPECT_EQ(std::optional<LONG>(LINEERR_OPERATIONFAILED), client.status(1));
        EXPECT_TRUE(client.closedByRadio());
    }

    // Requests that parse but name what is not theirs are answered, not fatal.
    RawClient client(socket);
    client.hello();
    EXPECT_EQ(std::optional<LONG>(0), client.status(1));
    client.send(wire::Writer(wire::Type::Close).u32(2).u32(12345).frame());
    EXPECT_EQ(std::optional<LONG>(LINEERR_INVALLINEHANDLE), client.status(2));
    client.send(wire::Writer(wire::Type::GetCallInfo).u32(3).u32(1).u32(1).frame());
    EXPECT_EQ(std::optional<LONG>(LINEERR_INVALCALLHANDLE), client.status(3));
    client.send(wire::Writer(wire::Type::OfferCall).u32(4).u32(0).text(u"").u32(1).u32(LINE_APPNEWCALL).u32(0).u32(0).u32(0).frame());
    EXPECT_EQ(std::optional<LONG>(LINEERR_INVALPARAM), client.status(4));
    client.send(wire::Writer(wire::Type::OfferCall).u32(5).u32(0).text(u"").u32(33).frame());
    EXPECT_EQ(std::optional<LONG>(LINEERR_INVALPARAM), client.status(5));
    client.send(wire::Writer(wire::Type::Negotiate).u32(6).u32(0xffffffff).u32(0x20000).u32(0x20000).frame());
    EXPECT_EQ(std::optional<LONG>(LINEERR_BADDEVICEID), client.status(6));

    // And the radio serves the telephony library as before.
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    EXPECT_EQ(1u, devices);
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(RadioServerTest, OnlyTheApplicationAnEventWentToCanConfirmIt)
{
    startRadio(named({u"Cellular Line"}), {std::chrono::milliseconds(200)});
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    HLINE line = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x20000, 0, 1, LINECALLPRIVILEGE_MONITOR, 0, nullptr));

    // The application hangs on the new call; meanwhile someone else confirms
    // every event there could be.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> entered;
    Recorder::get().setHook([&, released](const RecordedEvent& event) {
        if (event.message == LINE_APPNEWCALL) {
            entered.set_value();
            released.wait();
        }
    });
    auto call = std::async(std::launch::async, [&] { return radio_->offerCall(0, IncomingCall::standard(u"12345")); });
    entered.get_future().wait();
    RawClient intruder(handset::radio::socketPath());
    intruder.hello();
    for (std::uint32_t sequence = 0; sequence < 100; ++sequence)
        intruder.send(wire::Writer(wire::Type::EventDone).u32(sequence).frame());
    const auto result = call.get();
    release.set_value();
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(1u, result.linesLate);
    EXPECT_EQ(0, lineShutdown(app));
}

// A radio that answers the greeting as `greet` says and every later request
// as `answer` says.
class FakeRadio {
public:
    using Answer = std::function<std::string(wire::Type type, std::uint32_t id)>;
    FakeRadio(Answer answer)
    {
        std::string error;
        listen_ = wire::listenSocket(handset::radio::socketPath(), error);
        EXPECT_GE(listen_, 0) << error;
        thread_ = std::thread([this, answer] {
            pollfd ready{listen_, POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0)
                return;
            const int fd = ::accept(listen_, nullptr, nullptr);
            wire::FrameBuffer frames;
            char buffer[4096];
            for (;;) {
                pollfd readable{fd, POLLIN, 0};
                if (stop_ || ::poll(&readable, 1, 100) < 0)
                    break;
                if (!(readable.revents & POLLIN))
                    continue;
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                frames.append(buffer, static_cast<std::size_t>(n));
                bool malformed = false;
                while (auto body = frames.next(malformed)) {
                    wire::Reader in(*body);
                    std::uint32_t id = 0;
                    in.u32(id);
                    wire::sendAll(fd, answer(in.type(), id));
                }
            }
            ::close(fd);
        });
    }
    ~FakeRadio()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
        ::unlink(handset::radio::socketPath().c_str());
    }

private:
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string greeting(std::uint32_t id)
{
    return wire::Writer(wire::Type::Reply).u32(id).u32(0).u32(1).frame();
}

TEST_F(RadioServerTest, TheTelephonyLibraryTrustsNothingTheRadioSends)
{
    struct Case {
        const char* what;
        FakeRadio::Answer answer;
        bool initializes;
    };
    const Case cases[] = {
        {"a greeting without the device count",
         [](wire::Type, std::uint32_t id) { return wire::Writer(wire::Type::Reply).u32(id).u32(0).frame(); }, false},
        {"a frame of impossible length", [](wire::Type, std::uint32_t) { return std::string("\xff\xff\xff\xff", 4); },
         false},
        {"a line name longer than its frame",
         [](wire::Type type, std::uint32_t id) {
             return type == wire::Type::Hello ? greeting(id)
                                              : wire::Writer(wire::Type::Reply).u32(id).u32(0).u32(60000).frame();
         },
         true},
        {"a version outside the range asked for",
         [](wire::Type type, std::uint32_t id) {
             return type == wire::Type::Hello ? greeting(id)
                                              : wire::Writer(wire::Type::Reply).u32(id).u32(0).u32(0x30000).frame();
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRadio radio(c.answer);
        HLINEAPP app = 0xdeadbeef;
        DWORD devices = 0;
        const LONG rc = lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices);
        if (!c.initializes) {
            EXPECT_EQ(LINEERR_OPERATIONFAILED, rc);
            EXPECT_EQ(0xdeadbeefu, app);
            continue;
        }
        ASSERT_EQ(0, rc);
        LINEDEVCAPS caps{};
        caps.dwTotalSize = sizeof caps;
        EXPECT_EQ(LINEERR_OPERATIONFAILED, lineGetDevCaps(app, 0, 0x20000, 0, &caps));
        DWORD version = 0;
        LINEEXTENSIONID extension{};
        EXPECT_EQ(LINEERR_OPERATIONFAILED, lineNegotiateAPIVersion(app, 0, 0x20000, 0x20000, &version, &extension));
        EXPECT_EQ(0, lineShutdown(app));
    }
}

TEST_F(RadioServerTest, ACallOfferedOverTheSocketRingsWithWhatTheLinesLeft)
{
    // Without a radio nothing can ring.
    EXPECT_EQ(LINEERR_OPERATIONFAILED, handset::radio::offerCall(IncomingCall::standard(u"12345")).status);

    startRadio(named({u"Modem", u"Cellular Line"}));
    for (const char16_t* path : {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\SoundCategories\\Ring"}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    HLINE modem = 0, cellular = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &modem, 0x20000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    ASSERT_EQ(0, lineOpen(app, 1, &cellular, 0x20000, 0, 1, LINECALLPRIVILEGE_MONITOR, 0, nullptr));

    // The line application writes the ring settings when the caller ID comes.
    Recorder::get().setHook([](const RecordedEvent& event) {
        if (event.message != LINE_CALLINFO || event.param1 != LINECALLINFOSTATE_CALLERID)
            return;
        HKEY key = nullptr;
        RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", 0, KEY_SET_VALUE, &key);
        setString(key, u"Sound", u"\\My Documents\\Bell.wav");
        setString(key, u"Script", u"av0pw3r");
        RegCloseKey(key);
        RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_SET_VALUE, &key);
        const DWORD volume = 5;
        RegSetValueEx(key, u"InitVol", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&volume), 4);
        RegCloseKey(key);
    });
    const auto result = handset::radio::offerCall(IncomingCall::standard(u"+49 151 1234567"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(u"\\My Documents\\Bell.wav", result.ring.sound);
    EXPECT_EQ(u"av0pw3r", result.ring.script);
    EXPECT_EQ(std::optional<DWORD>(5), result.ring.volume);
    EXPECT_EQ(1u, result.linesReached);
    EXPECT_GT(result.callerIdToRing.count(), 0);
    EXPECT_TRUE(Recorder::get().eventsOf(0).empty());  // the call came on the cellular line only
    EXPECT_EQ(6u, Recorder::get().eventsOf(1).size());
    EXPECT_NE(std::string::npos, log().find("ring: sound=\\My Documents\\Bell.wav script=av0pw3r volume=5"));

    // Calls the radio refuses.
    EXPECT_EQ(LINEERR_INVALPARAM,
              handset::radio::offerCall(IncomingCall::standard(std::u16string(1025, u'1'))).status);
    IncomingCall crowded = IncomingCall::standard(u"1");
    crowded.reports.resize(33);
    EXPECT_EQ(LINEERR_INVALPARAM, radio_->offerCall(1, crowded).status);
    EXPECT_EQ(LINEERR_BADDEVICEID, radio_->offerCall(2, IncomingCall::standard(u"1")).status);
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(RadioServerTest, TheRingerSoundsFromTheRingUntilTheCallStopsRinging)
{
    struct Heard {
        std::uint32_t callId = 0;
        std::optional<std::u16string> callerId;
        std::u16string script;
        std::atomic<bool> stopped{false};
        std::atomic<bool> stoppedBeforeDisconnect{false};
    };
    auto heard = std::make_shared<Heard>();
    struct TestRinger : handset::radio::Ringer {
        std::shared_ptr<Heard> heard;
        void stop() override { heard->stopped = true; }
    };
    handset::radio::ServerOptions options;
    options.ringer = [heard](std::uint32_t callId, const std::optional<std::u16string>& callerId,
                             const handset::radio::RingReport& ring) {
        heard->callId = callId;
        heard->callerId = callerId;
        heard->script = ring.script;
        auto ringer = std::make_unique<TestRinger>();
        ringer->heard = heard;
        return ringer;
    };
    startRadio(named({u"Cellular Line"}), options);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\RingTone0", 0, nullptr, 0, 0,
                                            nullptr, &key, nullptr));
    setString(key, u"Script", u"apr");
    RegCloseKey(key);

    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    HLINE line = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x20000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    Recorder::get().setHook([heard](const RecordedEvent& event) {
        if (event.message == LINE_CALLSTATE && event.param1 == LINECALLSTATE_DISCONNECTED)
            heard->stoppedBeforeDisconnect = heard->stopped.load();
    });
    ASSERT_TRUE(handset::radio::offerCall(IncomingCall::standard(u"5550100")).ok());
    EXPECT_NE(0u, heard->callId);
    EXPECT_EQ(std::optional<std::u16string>(u"5550100"), heard->callerId);
    EXPECT_EQ(u"apr", heard->script);
    EXPECT_TRUE(heard->stoppedBeforeDisconnect);
    EXPECT_EQ(0, lineShutdown(app));
}

// Signals each ring the radio starts, so that a test acts on a ringing call.
struct RingWatch {
    std::mutex mutex;
    std::condition_variable changed;
    int rings = 0;

    handset::radio::ServerOptions options()
    {
        handset::radio::ServerOptions options;
        options.ringer = [this](std::uint32_t, const std::optional<std::u16string>&, const handset::radio::RingReport&) {
            std::lock_guard lock(mutex);
            ++rings;
            changed.notify_all();
            return std::unique_ptr<handset::radio::Ringer>();
        };
        return options;
    }
    bool waitFor(int count)  // a hang guard, not a measure
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] { return rings >= count; });
    }
};

IncomingCall ringing(std::u16string number, std::chrono::milliseconds ringFor = std::chrono::seconds(60))
{
    IncomingCall call = IncomingCall::standard(std::move(number));
    call.ringFor = ringFor;
    return call;
}

TEST_F(RadioServerTest, ARingingCallIsAnsweredRejectedOrMissedAndEveryOneIsLogged)
{
    RingWatch watch;
    startRadio(named({u"Cellular Line"}), watch.options());
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, recordingCallback, nullptr, &devices));
    HLINE line = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x20000, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    using handset::radio::CallOutcome;

    // Nothing rings: there is nothing to answer.
    EXPECT_EQ(LINEERR_INVALCALLSTATE, handset::radio::answerCall());

    // Answered, then hung up by the phone; a second call meanwhile is busy.
    auto answered = std::async(std::launch::async, [] { return handset::radio::offerCall(ringing(u"5550101")); });
    ASSERT_TRUE(watch.waitFor(1));
    EXPECT_EQ(LINEERR_INVALCALLSTATE, handset::radio::hangUpCall());  // not connected yet
    const auto busy = handset::radio::offerCall(ringing(u"5550109"));
    ASSERT_TRUE(busy.ok());
    EXPECT_EQ(CallOutcome::Busy, busy.outcome);
    EXPECT_EQ(0, handset::radio::answerCall());
    EXPECT_EQ(LINEERR_INVALCALLSTATE, handset::radio::rejectCall());  // no longer ringing
    ASSERT_TRUE(Recorder::get().waitUntil([](const std::vector<RecordedEvent>& events) {
        return !events.empty() && events.back().message == LINE_CALLSTATE &&
               events.back().param1 == LINECALLSTATE_CONNECTED;
    }));
    EXPECT_EQ(0, handset::radio::hangUpCall());
    const auto first = answered.get();
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(CallOutcome::Answered, first.outcome);
    const std::vector<RecordedEvent> events = Recorder::get().events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(LINECALLSTATE_DISCONNECTED, events[events.size() - 2].param1);
    EXPECT_EQ(LINEDISCONNECTMODE_NORMAL, events[events.size() - 2].param2);

    // Rejected.
    auto rejected = std::async(std::launch::async, [] { return handset::radio::offerCall(ringing(u"5550102")); });
    ASSERT_TRUE(watch.waitFor(2));
    EXPECT_EQ(0, handset::radio::rejectCall());
    EXPECT_EQ(CallOutcome::Rejected, rejected.get().outcome);
    EXPECT_EQ(LINEDISCONNECTMODE_REJECT, Recorder::get().events()[Recorder::get().events().size() - 2].param2);

    // Missed once the caller gives up; and the talk of an answered call ends
    // with the caller's time.
    const auto missed = handset::radio::offerCall(ringing(u"5550103", std::chrono::milliseconds(50)));
    EXPECT_EQ(CallOutcome::Missed, missed.outcome);
    IncomingCall brief = ringing(u"5550104");
    brief.talkFor = std::chrono::milliseconds(10);
    auto talked = std::async(std::launch::async, [&] { return handset::radio::offerCall(brief); });
    ASSERT_TRUE(watch.waitFor(4));
    EXPECT_EQ(0, handset::radio::answerCall());
    EXPECT_EQ(CallOutcome::Answered, talked.get().outcome);

    // The log has them all, newest first; the busy call counts as missed.
    std::vector<handset::calllog::Entry> log;
    ASSERT_EQ("", handset::calllog::readAll(log));
    std::vector<std::pair<std::u16string, handset::calllog::Outcome>> seen;
    for (const auto& entry : log)
        seen.emplace_back(entry.number.value_or(u""), entry.outcome);
    using O = handset::calllog::Outcome;
    const std::vector<std::pair<std::u16string, O>> expected = {
        {u"5550104", O::Answered}, {u"5550103", O::Missed}, {u"5550102", O::Rejected},
        {u"5550109", O::Missed},   {u"5550101", O::Answered}};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(RadioServerTest, StoppingTheRadioEndsTheCallInProgressAsAnyCallEnds)
{
    RingWatch watch;
    startRadio(named({u"Cellular Line"}), watch.options());
    auto call = std::async(std::launch::async, [] { return handset::radio::offerCall(ringing(u"5550101")); });
    ASSERT_TRUE(watch.waitFor(1));
    ASSERT_EQ(0, radio_->answer());
    radio_.reset();
    const auto ended = call.get();
    ASSERT_TRUE(ended.ok());
    EXPECT_EQ(handset::radio::CallOutcome::Answered, ended.outcome);
    std::vector<handset::calllog::Entry> log;
    ASSERT_EQ("", handset::calllog::readAll(log));
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(handset::calllog::Outcome::Answered, log[0].outcome);
}

}  // namespace
