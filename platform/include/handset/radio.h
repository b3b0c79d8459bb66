// The device's radio: it owns the line devices and their calls, and serves
// the telephony library (handset/tapi.h) of every process of the device over
// the Unix socket run/radio.sock.
//
// The radio program (device/radio) is a thin shell around Server; tests
// start a Server of their own on a temporary device, with the lines they
// choose, and offer it the calls they choose.
//
// An incoming call, as a phone's radio reports it to every line that is open
// with monitor or owner privileges:
//   LINE_APPNEWCALL, LINE_CALLSTATE (OFFERING),
//   the call's reports (by default LINE_CALLINFO MEDIAMODE, then CALLERID),
//   then the phone rings with the ring settings in the registry,
//   and rings for the call's ringFor (none by default: the caller gives up
//   at once). Answered meanwhile: LINE_CALLSTATE (CONNECTED), and the call
//   lasts until it is hung up or the caller's talkFor has passed.
//   LINE_CALLSTATE (DISCONNECTED: NOANSWER, REJECT or NORMAL),
//   LINE_CALLSTATE (IDLE).
// Every call is then recorded in the device's call log (handset/phone.h).
//
// One call at a time: a call that arrives while another one rings or is
// connected is refused busy (the network tells its caller; the line
// applications never hear of it) and logged as missed.
// After each event the radio waits until every line's callback has returned,
// at most ServerOptions::callbackTimeout for each line application; one that
// does not return in time is not waited for again during that call.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <handset/tapi.h>

namespace handset::radio {

// The line incoming calls arrive on, as the phone names it.
inline constexpr char16_t kCellularLineName[] = u"Cellular Line";

// A line device of the radio.
struct LineDevice {
    std::u16string name;
    DWORD mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM;
    DWORD lowestApiVersion = 0x00010004;   // the versions it negotiates
    DWORD highestApiVersion = 0x00020000;
    LONG devCapsError = 0;  // non-zero: what lineGetDevCaps answers for it (to stand for a broken driver)
};

// The device's lines, from HKEY_LOCAL_MACHINE "Drivers\Radio\Lines": one
// subkey per line, named by its device id ("0", "1", ...; other names are
// skipped), with the line's name in its "Name" (REG_SZ) and optionally its
// media modes in "MediaModes" (REG_DWORD). Device ids are the subkeys'
// numbers in ascending order, counted from 0 without gaps. Without the key
// the device has one line, "Cellular Line".
std::vector<LineDevice> linesFromRegistry();

// Where the radio of the current device listens.
std::filesystem::path socketPath();

// One report of a call to its lines after the call was offered: the message
// and its parameters (for LINE_CALLINFO, dwParam1 is the mask of changed
// states; reporting LINECALLINFOSTATE_CALLERID is what makes the caller ID
// visible to lineGetCallInfo, LINECALLINFOSTATE_MEDIAMODE the media mode).
struct CallReport {
    DWORD message = LINE_CALLINFO;
    DWORD param1 = 0;
    DWORD param2 = 0;
    DWORD param3 = 0;
};

enum class CallerIdOrder { MediaModeFirst, CallerIdFirst };

// How long a call may ring or last, so that a forgotten one ends.
inline constexpr std::chrono::milliseconds kMaxCallTime = std::chrono::hours(24);

// An incoming call to offer.
struct IncomingCall {
    std::optional<std::u16string> callerId;  // none: the network sent no caller ID
    std::vector<CallReport> reports;
    // How long the caller lets the phone ring before giving up.
    std::chrono::milliseconds ringFor{0};
    // Once answered, how long the caller talks before hanging up; none:
    // until the phone hangs up.
    std::optional<std::chrono::milliseconds> talkFor;

    // A call as the phone's radio reports it: its media mode, then its
    // caller ID (each one LINE_CALLINFO), or the other way round; without a
    // caller ID only the media mode is reported.
    static IncomingCall standard(std::optional<std::u16string> callerId,
                                 CallerIdOrder order = CallerIdOrder::MediaModeFirst);
};

// Limits on what a call may carry, so that what arrives over the socket is
// bounded.
inline constexpr std::size_t kMaxCallerIdLength = 1024;
inline constexpr std::size_t kMaxCallReports = 32;

// What the phone rang with: the registry's ring settings at the moment it
// rang ("ControlPanel\Sounds\RingTone0" "Sound" and "Script",
// "ControlPanel\SoundCategories\Ring" "InitVol"); a value that cannot be
// read is empty.
struct RingReport {
    std::u16string sound;
    std::u16string script;
    std::optional<DWORD> volume;
};

enum class CallOutcome { Missed, Answered, Rejected, Busy };
const char* outcomeName(CallOutcome outcome);  // "missed", "answered", "rejected", "busy"

struct [[nodiscard]] OfferResult {
    LONG status = 0;  // 0, or a LINEERR_ code (LINEERR_BADDEVICEID, LINEERR_INVALPARAM, ...)
    RingReport ring;
    DWORD linesReached = 0;  // line applications the call was reported to
    DWORD linesLate = 0;     // of those, the ones whose callback did not return in time
    // From the moment the caller ID report was sent to the moment every
    // line's callback for it had returned (or was given up) and the phone
    // rang; zero when there was no caller ID report.
    std::chrono::nanoseconds callerIdToRing{0};
    CallOutcome outcome = CallOutcome::Missed;
    std::chrono::milliseconds rang{0};  // from the ring's start until it was answered, rejected or given up
    std::uint32_t callId = 0;           // the radio's number of the call; 0 for a busy one

    bool ok() const { return status == 0; }
};

// What makes the phone sound while a call rings; stop() ends it, at the
// latest when the ringer is destroyed.
struct Ringer {
    virtual ~Ringer() = default;
    virtual void stop() = 0;
};

struct ServerOptions {
    std::chrono::milliseconds callbackTimeout{2000};
    // Called when the phone starts ringing, with the call, its caller ID and
    // the ring settings the line applications left; the ringer it returns is
    // stopped when the call stops ringing. Unset, or returning null: the
    // phone rings silently (the ring is still logged).
    std::function<std::unique_ptr<Ringer>(std::uint32_t callId, const std::optional<std::u16string>& callerId,
                                          const RingReport&)>
        ringer{};
};

// What the radio knows about a line a line application opened.
struct OpenLineInfo {
    DWORD deviceId = 0;
    DWORD apiVersion = 0;
    DWORD privileges = 0;
    DWORD mediaModes = 0;
};

class Server {
public:
    struct [[nodiscard]] StartResult {
        std::unique_ptr<Server> server;
        std::string error;  // when server is null

        bool ok() const { return server != nullptr; }
    };

    // Listens on `socket` with `lines`. Refuses when another radio already
    // answers there; a socket file left by a radio that died is replaced.
    static StartResult start(const std::filesystem::path& socket, std::vector<LineDevice> lines,
                             ServerOptions options = {});

    // Stops serving: connections are closed (their lines receive LINE_CLOSE),
    // calls not yet offered fail, the socket file is removed.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Offers a call on line `deviceId` and returns once it has ended. Calls
    // are offered one after the other, in the order they were asked for.
    OfferResult offerCall(DWORD deviceId, const IncomingCall& call);

    // The line incoming calls of `handset call` arrive on: the last line
    // named "Cellular Line" (the one the phone's software watches), else
    // line 0.
    DWORD cellularLine() const;

    std::vector<OpenLineInfo> openLines() const;

    // What the phone's user does with the call in progress: answer or
    // reject the ringing call, hang up the connected one. 0, or
    // LINEERR_INVALCALLSTATE when there is no call in that state.
    LONG answer();
    LONG reject();
    LONG hangUp();

    class Impl;

private:
    explicit Server(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Asks the current device's radio to offer `call` on its cellular line and
// waits for the call to end (at most `timeout`). LINEERR_OPERATIONFAILED
// when the radio cannot be reached or does not answer in time.
// `timeout` bounds the wait for the ring; the call may then last as long
// as it lasts. `ringing`, when given, is called once the phone rings, with
// the ring settings (before the call ends).
OfferResult offerCall(const IncomingCall& call, std::chrono::milliseconds timeout = std::chrono::seconds(30),
                      const std::function<void(const OfferResult&)>& ringing = {});

// The current device's radio answers, rejects or hangs up the call in
// progress (see Server::answer). LINEERR_OPERATIONFAILED when the radio
// cannot be reached.
LONG answerCall();
LONG rejectCall();
LONG hangUpCall();

// Waits until call `callId` has ended (at once when it is not in
// progress); false when the radio could not be asked or went away first.
bool watchCall(std::uint32_t callId);

// The contact whose phone number matches a caller ID, as the phone shows
// the caller.
struct CallerContact {
    DWORD oid = 0;
    std::u16string name;        // "First Middle Last", else the company
    std::u16string numberKind;  // "m", "w", "h" for the matched number, else empty
    std::vector<BYTE> picture;  // the picture file's bytes, when asked for
};
std::optional<CallerContact> findCallerContact(const std::u16string& number, bool withPicture = false);

}  // namespace handset::radio
