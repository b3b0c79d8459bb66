// Offering a call to the device's radio from another process (`handset call`).
#include <handset/radio.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <handset/log.h>

#include "tapi/protocol.h"

namespace handset::radio {

namespace {

namespace wire = tapi::wire;
using Clock = std::chrono::steady_clock;

// Reads until one whole frame body is in, or the deadline passes.
std::optional<std::string> readFrame(int fd, wire::FrameBuffer& frames, Clock::time_point deadline)
{
    for (;;) {
        bool malformed = false;
        if (auto body = frames.next(malformed))
            return body;
        if (malformed)
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd ready{fd, POLLIN, 0};
        // A minute at most at a time: a call without a deadline waits in steps.
        const int rc = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0)
            continue;
        if (rc < 0)
            return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        frames.append(buffer, static_cast<std::size_t>(n));
    }
}

// The reply to `request`, past its id. A Ringing frame for it is handed
// to `ringing` (and the deadline lifted: the call then lasts as long as it
// lasts); events (none are expected: this connection opens no line) are
// skipped.
std::optional<wire::Reader> awaitReply(int fd, wire::FrameBuffer& frames, std::uint32_t request,
                                       Clock::time_point& deadline, std::string& body,
                                       const std::function<void(wire::Reader&)>& ringing = {})
{
    for (;;) {
        auto frame = readFrame(fd, frames, deadline);
        if (!frame)
            return std::nullopt;
        body = std::move(*frame);
        wire::Reader in(body);
        std::uint32_t id = 0;
        if (in.type() != wire::Type::Reply && in.type() != wire::Type::Ringing)
            continue;
        if (!in.u32(id))
            return std::nullopt;
        if (id != request)
            continue;
        if (in.type() == wire::Type::Reply)
            return in;
        deadline = Clock::time_point::max();
        if (ringing)
            ringing(in);
    }
}

bool readRing(wire::Reader& in, RingReport& ring)
{
    std::uint32_t hasVolume = 0, volume = 0;
    if (!(in.text(ring.sound, kMaxCallerIdLength) && in.text(ring.script, kMaxCallerIdLength) &&
          in.u32(hasVolume) && in.u32(volume)))
        return false;
    if (hasVolume)
        ring.volume = volume;
    return true;
}

// One request without fields of its own but `extra`, and the status of its
// reply; LINEERR_OPERATIONFAILED when the radio cannot be asked.
LONG ask(wire::Type type, std::optional<std::uint32_t> extra, std::chrono::milliseconds timeout)
{
    std::string error;
    const int fd = wire::connectSocket(socketPath(), error);
    if (fd < 0)
        return LINEERR_OPERATIONFAILED;
    Clock::time_point deadline =
        timeout == std::chrono::milliseconds::max() ? Clock::time_point::max() : Clock::now() + timeout;
    wire::FrameBuffer frames;
    std::string body;
    wire::Writer hello(wire::Type::Hello);
    hello.u32(1).u32(wire::kProtocolVersion).u32(static_cast<std::uint32_t>(::getpid()));
    wire::Writer request(type);
    request.u32(2);
    if (extra)
        request.u32(*extra);
    LONG result = LINEERR_OPERATIONFAILED;
    std::uint32_t status = 0;
    if (wire::sendAll(fd, hello.frame()) && wire::sendAll(fd, request.frame())) {
        auto greeted = awaitReply(fd, frames, 1, deadline, body);
        if (greeted && greeted->u32(status) && status == 0)
            if (auto in = awaitReply(fd, frames, 2, deadline, body); in && in->u32(status))
                result = static_cast<LONG>(status);
    }
    ::close(fd);
    return result;
}

constexpr std::chrono::seconds kRequestTimeout{10};

}  // namespace

OfferResult offerCall(const IncomingCall& call, std::chrono::milliseconds timeout,
                      const std::function<void(const OfferResult&)>& ringing)
{
    OfferResult result;
    result.status = LINEERR_OPERATIONFAILED;
    if ((call.callerId && call.callerId->size() > kMaxCallerIdLength) || call.reports.size() > kMaxCallReports) {
        result.status = LINEERR_INVALPARAM;
        return result;
    }
    std::string error;
    const int fd = wire::connectSocket(socketPath(), error);
    if (fd < 0)
        return result;
    Clock::time_point deadline = Clock::now() + timeout;
    wire::FrameBuffer frames;
    std::string body;

    wire::Writer hello(wire::Type::Hello);
    hello.u32(1).u32(wire::kProtocolVersion).u32(static_cast<std::uint32_t>(::getpid()));
    wire::Writer offer(wire::Type::OfferCall);
    offer.u32(2).u32(call.callerId ? 1 : 0).text(call.callerId.value_or(u"")).u32(static_cast<std::uint32_t>(call.reports.size()));
    for (const CallReport& step : call.reports)
        offer.u32(step.message).u32(step.param1).u32(step.param2).u32(step.param3);
    const auto ms = [](std::chrono::milliseconds time) {
        return static_cast<std::uint32_t>(std::clamp(time, std::chrono::milliseconds(0), kMaxCallTime).count());
    };
    offer.u32(ms(call.ringFor)).u32(call.talkFor ? 1 : 0).u32(ms(call.talkFor.value_or(std::chrono::milliseconds(0))));

    const auto rang = [&](wire::Reader& in) {
        OfferResult early;
        if (readRing(in, early.ring) && in.u32(early.callId) && ringing)
            ringing(early);
    };
    std::uint32_t status = 0;
    if (wire::sendAll(fd, hello.frame()) && wire::sendAll(fd, offer.frame())) {
        auto greeted = awaitReply(fd, frames, 1, deadline, body);
        if (greeted && greeted->u32(status) && status == 0) {
            if (auto in = awaitReply(fd, frames, 2, deadline, body, rang); in && in->u32(status)) {
                result.status = static_cast<LONG>(status);
                std::uint32_t low = 0, high = 0, outcome = 0, rangMs = 0;
                if (status == 0 &&
                    !(readRing(*in, result.ring) && in->u32(result.linesReached) && in->u32(result.linesLate) &&
                      in->u32(low) && in->u32(high) && in->u32(outcome) && in->u32(rangMs) &&
                      in->u32(result.callId) && outcome <= static_cast<std::uint32_t>(CallOutcome::Busy)))
                    result.status = LINEERR_OPERATIONFAILED;
                result.callerIdToRing = std::chrono::nanoseconds((std::uint64_t{high} << 32) | low);
                result.outcome = static_cast<CallOutcome>(outcome);
                result.rang = std::chrono::milliseconds(rangMs);
            }
        }
    }
    ::close(fd);
    return result;
}

LONG answerCall()
{
    return ask(wire::Type::Answer, std::nullopt, kRequestTimeout);
}

LONG rejectCall()
{
    return ask(wire::Type::Reject, std::nullopt, kRequestTimeout);
}

LONG hangUpCall()
{
    return ask(wire::Type::HangUp, std::nullopt, kRequestTimeout);
}

bool watchCall(std::uint32_t callId)
{
    return ask(wire::Type::Watch, callId, std::chrono::milliseconds::max()) == 0;
}

}  // namespace handset::radio
