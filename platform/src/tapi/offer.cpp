// Offering a call to the device's radio from another process (`handset call`).
#include <handset/radio.h>

#include <cerrno>
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
        const int rc = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
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

// The reply to `request`, past its id; events (none are expected: this
// connection opens no line) are skipped.
std::optional<wire::Reader> awaitReply(int fd, wire::FrameBuffer& frames, std::uint32_t request,
                                       Clock::time_point deadline, std::string& body)
{
    for (;;) {
        auto frame = readFrame(fd, frames, deadline);
        if (!frame)
            return std::nullopt;
        body = std::move(*frame);
        wire::Reader in(body);
        std::uint32_t id = 0;
        if (in.type() != wire::Type::Reply)
            continue;
        if (!in.u32(id))
            return std::nullopt;
        if (id == request)
            return in;
    }
}

}  // namespace

OfferResult offerCall(const IncomingCall& call, std::chrono::milliseconds timeout)
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
    const Clock::time_point deadline = Clock::now() + timeout;
    wire::FrameBuffer frames;
    std::string body;

    wire::Writer hello(wire::Type::Hello);
    hello.u32(1).u32(wire::kProtocolVersion).u32(static_cast<std::uint32_t>(::getpid()));
    wire::Writer offer(wire::Type::OfferCall);
    offer.u32(2).u32(call.callerId ? 1 : 0).text(call.callerId.value_or(u"")).u32(static_cast<std::uint32_t>(call.reports.size()));
    for (const CallReport& step : call.reports)
        offer.u32(step.message).u32(step.param1).u32(step.param2).u32(step.param3);

    std::uint32_t status = 0;
    if (wire::sendAll(fd, hello.frame()) && wire::sendAll(fd, offer.frame())) {
        auto greeted = awaitReply(fd, frames, 1, deadline, body);
        if (greeted && greeted->u32(status) && status == 0) {
            if (auto in = awaitReply(fd, frames, 2, deadline, body); in && in->u32(status)) {
                result.status = static_cast<LONG>(status);
                std::uint32_t hasVolume = 0, volume = 0, low = 0, high = 0;
                if (status == 0 &&
                    !(in->text(result.ring.sound, kMaxCallerIdLength) && in->text(result.ring.script, kMaxCallerIdLength) &&
                      in->u32(hasVolume) && in->u32(volume) && in->u32(result.linesReached) &&
                      in->u32(result.linesLate) && in->u32(low) && in->u32(high)))
                    result.status = LINEERR_OPERATIONFAILED;
                if (hasVolume)
                    result.ring.volume = volume;
                result.callerIdToRing = std::chrono::nanoseconds((std::uint64_t{high} << 32) | low);
            }
        }
    }
    ::close(fd);
    return result;
}

}  // namespace handset::radio
