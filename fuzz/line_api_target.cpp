// What the line API receives from the radio: every reply (devices,
// versions, LINEDEVCAPS, line ids, LINECALLINFO) and every event is taken
// from the input, served by a stand-in radio on the device's socket. The
// input drives either the line functions directly, which must keep their
// size rules and never write past the caller's structure, or the call ring
// service's call monitor, which reads the structures as the Today screen
// does.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <handset/radio.h>
#include <handset/tapi.h>

#include "call_monitor.h"
#include "fuzz_support.h"
#include "tapi/protocol.h"

namespace wire = handset::tapi::wire;

namespace {

constexpr std::uint32_t kFailed = 0x80000048;  // LINEERR_OPERATIONFAILED
constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kSentinel = 0xBD;

struct Answer {
    std::uint32_t status = 0;
    std::string tail;  // the reply's fields after the status, as the input gave them
    // Events the radio sends right after this reply.
    struct Event {
        bool onOpenedLine = false;
        std::uint32_t lineId = 0, callId = 0, message = 0, param1 = 0, param2 = 0, param3 = 0;
    };
    std::vector<Event> events;
};

// The stand-in radio: one listening socket for the process, one connection
// served at a time, answers taken from the current input in order.
class FakeRadio {
public:
    void start()
    {
        std::string error;
        listener_ = wire::listenSocket(handset::radio::socketPath(), error);
        FUZZ_CHECK(listener_ >= 0);
        std::thread([this] { serve(); }).detach();
    }

    void load(std::deque<Answer> answers)
    {
        std::lock_guard lock(mutex_);
        answers_ = std::move(answers);
        sent_ = confirmed_ = 0;
    }

    // Waits until every event sent so far was confirmed, or the connection
    // ended, so that the callbacks have run before the line application
    // shuts down; bounded, in case the library holds one back.
    void settle()
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(2), [&] { return confirmed_ >= sent_ || !connected_; });
    }

private:
    static std::string frame(const std::string& body)
    {
        std::string out(4, '\0');
        const auto size = static_cast<std::uint32_t>(body.size());
        for (int i = 0; i < 4; ++i)
            out[i] = static_cast<char>(size >> (8 * i));
        return out + body;
    }

    static void put(std::string& body, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            body.push_back(static_cast<char>(value >> (8 * i)));
    }

    void serve()
    {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            {
                std::lock_guard lock(mutex_);
                connected_ = true;
            }
            talk(fd);
            ::close(fd);
            std::lock_guard lock(mutex_);
            connected_ = false;
            changed_.notify_all();
        }
    }

    void talk(int fd)
    {
        wire::FrameBuffer frames;
        char buffer[8192];
        std::uint32_t sequence = 0, openedLine = 0;
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            frames.append(buffer, static_cast<std::size_t>(n));
            bool malformed = false;
            while (auto body = frames.next(malformed)) {
                wire::Reader in(*body);
                if (in.type() == wire::Type::EventDone) {
                    std::lock_guard lock(mutex_);
                    ++confirmed_;
                    changed_.notify_all();
                    continue;
                }
                std::uint32_t id = 0;
                if (!in.u32(id))
                    return;
                Answer answer;
                answer.status = kFailed;
                {
                    std::lock_guard lock(mutex_);
                    if (!answers_.empty()) {
                        answer = std::move(answers_.front());
                        answers_.pop_front();
                    }
                }
                std::string reply;
                put(reply, static_cast<std::uint32_t>(wire::Type::Reply));
                put(reply, id);
                put(reply, answer.status);
                reply += answer.tail;
                std::string out = frame(reply);
                if (in.type() == wire::Type::Open && answer.tail.size() >= 4)
                    std::memcpy(&openedLine, answer.tail.data(), 4);
                for (const Answer::Event& event : answer.events) {
                    std::string body;
                    put(body, static_cast<std::uint32_t>(wire::Type::Event));
                    put(body, ++sequence);
                    put(body, event.onOpenedLine ? openedLine : event.lineId);
                    put(body, event.callId);
                    put(body, event.message);
                    put(body, event.param1);
                    put(body, event.param2);
                    put(body, event.param3);
                    out += frame(body);
                }
                {
                    std::lock_guard lock(mutex_);
                    sent_ += answer.events.size();
                }
                if (!wire::sendAll(fd, out))
                    return;
            }
            if (malformed)
                return;
        }
    }

    int listener_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Answer> answers_;
    std::size_t sent_ = 0, confirmed_ = 0;
    bool connected_ = false;
};

FakeRadio radio;

const std::uint32_t kMessages[] = {LINE_APPNEWCALL, LINE_CALLINFO, LINE_CALLSTATE, LINE_CLOSE};

std::deque<Answer> answersFrom(fuzz::Input& in)
{
    std::deque<Answer> answers;
    while (!in.empty() && answers.size() < 24) {
        Answer answer;
        const std::uint8_t head = in.byte();
        answer.status = head & 0x80 ? in.u32() : 0;
        answer.tail = in.bytes(2048);
        for (int count = head & 3; count > 0; --count) {
            Answer::Event event;
            const std::uint8_t kind = in.byte();
            event.onOpenedLine = !(kind & 0x80);
            event.lineId = event.onOpenedLine ? 0 : in.u32();
            event.message = kind & 0x40 ? in.u32() : kMessages[kind & 3];
            event.callId = in.byte();
            event.param1 = in.u32();
            event.param2 = in.u32();
            event.param3 = in.u32();
            answer.events.push_back(event);
        }
        answers.push_back(std::move(answer));
    }
    return answers;
}

// A structure of `total` bytes followed by guard bytes, all of them set to
// the sentinel; only the total size is filled in.
struct Guarded {
    explicit Guarded(DWORD total) : bytes(total + kGuard, kSentinel), total(total)
    {
        std::memcpy(bytes.data(), &total, sizeof total);
    }
    template <typename Structure>
    Structure* as() { return reinterpret_cast<Structure*>(bytes.data()); }
    bool guardIntact() const
    {
        return std::all_of(bytes.begin() + total, bytes.end(), [](std::uint8_t b) { return b == kSentinel; });
    }
    std::vector<std::uint8_t> bytes;
    DWORD total;
};

// The size rules every variable-size structure keeps on success.
template <typename Structure>
void checkSizes(const Structure* s, DWORD total, DWORD fixed, DWORD offset, DWORD size)
{
    FUZZ_CHECK(s->dwTotalSize == total);
    FUZZ_CHECK(s->dwUsedSize <= s->dwTotalSize);
    FUZZ_CHECK(s->dwUsedSize <= s->dwNeededSize);
    if (size != 0) {
        FUZZ_CHECK(offset >= fixed);
        FUZZ_CHECK(offset <= s->dwUsedSize && size <= s->dwUsedSize - offset);
    }
}

void checkCallInfo(HCALL call)
{
    for (DWORD total : {DWORD(offsetof(LINECALLINFO, dwCallTreatment)), DWORD(sizeof(LINECALLINFO)),
                        DWORD(sizeof(LINECALLINFO) + 4096)}) {
        Guarded info(total);
        if (lineGetCallInfo(call, info.as<LINECALLINFO>()) == 0) {
            const auto* s = info.as<LINECALLINFO>();
            checkSizes(s, total, offsetof(LINECALLINFO, dwCallTreatment), s->dwCallerIDOffset, s->dwCallerIDSize);
        }
        FUZZ_CHECK(info.guardIntact());
    }
}

void lineCallback(DWORD device, DWORD message, DWORD, DWORD, DWORD param2, DWORD)
{
    if (message == LINE_APPNEWCALL)
        checkCallInfo(param2);
    else if (message == LINE_CALLINFO || message == LINE_CALLSTATE)
        checkCallInfo(device);
}

void driveLineFunctions()
{
    HLINEAPP app = 0;
    DWORD devices = 0;
    if (lineInitialize(&app, nullptr, lineCallback, nullptr, &devices) != 0)
        return;
    HLINE line = 0;
    for (DWORD device = 0; device < std::min<DWORD>(devices, 2); ++device) {
        DWORD version = 0;
        LINEEXTENSIONID extension{};
        const LONG negotiated = lineNegotiateAPIVersion(app, device, 0x00010004, 0x00020000, &version, &extension);
        if (negotiated == 0)
            FUZZ_CHECK(version >= 0x00010004 && version <= 0x00020000);
        for (DWORD total : {DWORD(sizeof(LINEDEVCAPS)), DWORD(sizeof(LINEDEVCAPS) + 64)}) {
            Guarded caps(total);
            if (lineGetDevCaps(app, device, 0x00020000, 0, caps.as<LINEDEVCAPS>()) == 0) {
                const auto* s = caps.as<LINEDEVCAPS>();
                checkSizes(s, total, sizeof(LINEDEVCAPS), s->dwLineNameOffset, s->dwLineNameSize);
            }
            FUZZ_CHECK(caps.guardIntact());
        }
        if (!line)
            (void)lineOpen(app, device, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_MONITOR,
                           LINEMEDIAMODE_INTERACTIVEVOICE, nullptr);
    }
    radio.settle();
    if (line)
        lineClose(line);
    lineShutdown(app);
}

void driveCallMonitor()
{
    if (tolvane::startCallMonitor(nullptr) != 0)
        return;
    radio.settle();
    tolvane::stopCallMonitor();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::useFactoryDevice();
    radio.start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const bool monitor = in.byte() & 1;
    radio.load(answersFrom(in));
    if (monitor)
        driveCallMonitor();
    else
        driveLineFunctions();
    return 0;
}
