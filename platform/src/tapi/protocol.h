// The radio's wire protocol: what the telephony library of each process and
// the radio say to each other over run/radio.sock.
//
// A stream of frames, each a 32-bit little-endian body length followed by the
// body; a body is a sequence of 32-bit little-endian numbers and texts (a
// number of UTF-16 code units, then the units). The first number of a body is
// its type. Requests carry a request id that their reply repeats; events
// carry a sequence number that the client confirms with EventDone once the
// application's callback has returned.
//
//   client -> radio                              radio -> client (Reply: id, status, ...)
//   Hello        id, protocol, pid               device count
//   Negotiate    id, device, low, high           version
//   GetDevCaps   id, device, api, ext            name, permanent id, media modes, bearer modes,
//                                                addresses, max active calls
//   Open         id, device, api, privileges, media modes   line id
//   Close        id, line id                     -
//   GetCallInfo  id, line id, call id            device, address, bearer, media mode, call state,
//                                                origin, reason, owners, monitors, caller ID flags,
//                                                caller ID, call id
//   OfferCall    id, has caller ID, caller ID, report count, reports (message, 3 params),
//                ring for (ms), has talk for, talk for (ms)
//                                                sound, script, has volume, volume, lines reached,
//                                                lines late, caller ID to ring (ns, low and high),
//                                                outcome, rang (ms), call id
//                                                (before it, once the phone rings, Ringing: id, sound,
//                                                script, has volume, volume, call id)
//   Answer       id                              -   (LINEERR_INVALCALLSTATE: no call rings)
//   Reject       id                              -   (the same)
//   HangUp       id                              -   (LINEERR_INVALCALLSTATE: no call is connected)
//   Watch        id, call id                     -   once the call has ended
//   EventDone    sequence                        (no reply)
//                                                Event: sequence, line id, call id, message, 3 params
//
// Both sides treat every frame they read as untrusted: lengths, counts and
// ids are checked before use, and a frame that does not parse ends the
// connection.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace handset::tapi::wire {

constexpr std::uint32_t kProtocolVersion = 1;

// No frame of this protocol comes near this; a bigger length is a fault.
constexpr std::uint32_t kMaxFrameBody = 64 * 1024;

enum class Type : std::uint32_t {
    Hello = 1,
    Negotiate = 2,
    GetDevCaps = 3,
    Open = 4,
    Close = 5,
    GetCallInfo = 6,
    EventDone = 7,
    OfferCall = 8,
    Answer = 9,
    Reject = 10,
    HangUp = 11,
    Watch = 12,
    Reply = 100,
    Event = 101,
    Ringing = 102,
};

// Builds one frame.
class Writer {
public:
    explicit Writer(Type type);
    Writer& u32(std::uint32_t value);
    Writer& text(std::u16string_view text);
    // The frame with its length in front.
    std::string frame() const;

private:
    std::string body_;
};

// Reads one body; every read fails (and keeps failing) once the body runs
// out or a text is longer than allowed.
class Reader {
public:
    explicit Reader(std::string_view body);
    Type type() const { return type_; }
    bool u32(std::uint32_t& value);
    bool text(std::u16string& text, std::size_t maxUnits);
    // Whether every read so far succeeded.
    bool ok() const { return ok_; }

private:
    std::string_view rest_;
    Type type_{};
    bool ok_ = true;
};

// Collects bytes read from a socket and cuts them into frame bodies.
class FrameBuffer {
public:
    void append(const char* data, std::size_t size) { bytes_.append(data, size); }
    // The next complete body, if any. Sets `malformed` for a length that no
    // frame may have; the connection is then beyond repair.
    std::optional<std::string> next(bool& malformed);
    std::size_t pending() const { return bytes_.size(); }

private:
    std::string bytes_;
};

// Sockets. Paths longer than a socket address holds are reached through the
// folder they are in, so a device may live anywhere.
int connectSocket(const std::filesystem::path& path, std::string& error);
int listenSocket(const std::filesystem::path& path, std::string& error);

// Writes all of `data` to a blocking socket; false when the peer is gone.
bool sendAll(int fd, std::string_view data);

}  // namespace handset::tapi::wire
