// The telephony library: the line functions of handset/tapi.h, each a
// request to the device's radio.
//
// Every line application has its own connection and two threads: a reader
// that takes replies and events off the socket, and a dispatcher that calls
// the application's callback, one event at a time, then tells the radio the
// callback has returned. Because the reader never runs callbacks, a callback
// may call the line functions (lineGetCallInfo above all) while the radio
// waits for it.
#include <handset/tapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <handset/log.h>
#include <handset/radio.h>

#include "tapi/protocol.h"

namespace {

namespace wire = handset::tapi::wire;

constexpr auto kReplyTimeout = std::chrono::seconds(10);
constexpr std::size_t kMaxLineName = 1024;
// No phone has more line devices than this; a radio that reports more is
// broken, and every line application would loop over its count.
constexpr std::uint32_t kMaxLineDevices = 256;
constexpr DWORD kApi14 = 0x00010004;

// The fixed parts for an API version: TAPI 1.4 structures lack the fields
// TAPI 2.0 added at their ends.
DWORD devCapsFixedSize(DWORD apiVersion)
{
    return apiVersion >= 0x00020000 ? sizeof(LINEDEVCAPS) : offsetof(LINEDEVCAPS, dwSettableDevStatus);
}

DWORD callInfoFixedSize(DWORD apiVersion)
{
    return apiVersion >= 0x00020000 ? sizeof(LINECALLINFO) : offsetof(LINECALLINFO, dwCallTreatment);
}

// Handles of every kind come from one counter, so that a handle of one kind
// is never mistaken for another and none is reused within the process.
DWORD newHandle()
{
    static std::atomic<DWORD> next{0x00010000};
    DWORD handle;
    do
        handle = next.fetch_add(1);
    while (handle == 0);
    return handle;
}

struct Reply {
    LONG status = LINEERR_OPERATIONFAILED;
    std::string body;
};

struct Event {
    std::uint32_t sequence = 0;
    bool confirm = true;  // false for events the library makes itself
    std::uint32_t lineId = 0;
    std::uint32_t callId = 0;
    DWORD message = 0;
    DWORD param1 = 0, param2 = 0, param3 = 0;
};

struct OpenLine {
    std::uint32_t lineId = 0;
    DWORD device = 0;
    DWORD apiVersion = 0;
    DWORD instance = 0;
};

struct CallHandle {
    HLINE line = 0;
    std::uint32_t callId = 0;
};

class LineApp {
public:
    LineApp(HLINEAPP handle, LINECALLBACK callback, int fd) : handle_(handle), callback_(callback), fd_(fd) {}
    ~LineApp() { ::close(fd_); }
    LineApp(const LineApp&) = delete;
    LineApp& operator=(const LineApp&) = delete;

    HLINEAPP handle() const { return handle_; }

    void startThreads()
    {
        reader_ = std::thread([this] { readReplies(); });
        dispatcher_ = std::thread([this] { dispatchEvents(); });
    }

    // Sends a request with a fresh id in front of `fields` and waits for its reply.
    Reply request(wire::Type type, const std::function<void(wire::Writer&)>& fields)
    {
        std::uint32_t id;
        {
            std::lock_guard lock(mutex_);
            if (!connected_)
                return {};
            id = nextRequest_++;
            pending_[id];
        }
        wire::Writer frame(type);
        frame.u32(id);
        if (fields)
            fields(frame);
        bool sent;
        {
            std::lock_guard lock(writeMutex_);
            sent = wire::sendAll(fd_, frame.frame());
        }
        std::unique_lock lock(mutex_);
        if (sent)
            changed_.wait_for(lock, kReplyTimeout, [&] { return pending_[id].has_value() || !connected_; });
        std::optional<Reply> reply = std::move(pending_[id]);
        pending_.erase(id);
        return reply ? std::move(*reply) : Reply{};
    }

    DWORD deviceCount() const { return deviceCount_; }
    void setDeviceCount(DWORD count) { deviceCount_ = count; }

    // Records a line the radio opened; returns its handle.
    HLINE addLine(const OpenLine& line)
    {
        const HLINE handle = newHandle();
        std::lock_guard lock(mutex_);
        lines_[handle] = line;
        lineHandles_[line.lineId] = handle;
        return handle;
    }

    bool hasLine(HLINE line)
    {
        std::lock_guard lock(mutex_);
        return lines_.count(line) != 0;
    }

    // Forgets the line, so that none of its events is delivered any more,
    // and waits for a callback of the line that is running on another
    // thread. Returns the radio's id of the line.
    std::optional<std::uint32_t> forgetLine(HLINE line)
    {
        std::unique_lock lock(mutex_);
        const auto it = lines_.find(line);
        if (it == lines_.end())
            return std::nullopt;
        const std::uint32_t lineId = it->second.lineId;
        lines_.erase(it);
        lineHandles_.erase(lineId);
        forgetCallsOf(line, lineId);
        if (std::this_thread::get_id() != dispatcher_.get_id())
            changed_.wait(lock, [&] { return callbackLine_ != line; });
        return lineId;
    }

    bool connected()
    {
        std::lock_guard lock(mutex_);
        return connected_;
    }

    struct CallRef {
        std::uint32_t lineId = 0;
        std::uint32_t callId = 0;
        DWORD apiVersion = 0;
        HLINE line = 0;
    };
    std::optional<CallRef> findCall(HCALL call)
    {
        std::lock_guard lock(mutex_);
        const auto it = calls_.find(call);
        if (it == calls_.end())
            return std::nullopt;
        const auto line = lines_.find(it->second.line);
        if (line == lines_.end())
            return std::nullopt;
        return CallRef{line->second.lineId, it->second.callId, line->second.apiVersion, it->second.line};
    }

    // Ends the application: no callback runs once this returns, except the
    // one that is calling it, when it is called from a callback.
    void shutdown(std::shared_ptr<LineApp> self)
    {
        {
            std::unique_lock lock(mutex_);
            closing_ = true;
            lines_.clear();
            lineHandles_.clear();
            calls_.clear();
            changed_.notify_all();
        }
        ::shutdown(fd_, SHUT_RDWR);
        if (std::this_thread::get_id() == dispatcher_.get_id()) {
            // A callback cannot wait for its own thread; another thread
            // does, and the application goes with the last of them.
            std::thread([self] {
                self->reader_.join();
                self->dispatcher_.join();
            }).detach();
            return;
        }
        reader_.join();
        dispatcher_.join();
    }

private:
    // Under mutex_.
    void forgetCallsOf(HLINE line, std::uint32_t lineId)
    {
        for (auto call = calls_.begin(); call != calls_.end();)
            call = call->second.line == line ? calls_.erase(call) : std::next(call);
        for (auto call = callHandles_.begin(); call != callHandles_.end();)
            call = call->first.first == lineId ? callHandles_.erase(call) : std::next(call);
    }

    void readReplies()
    {
        wire::FrameBuffer frames;
        char buffer[16384];
        bool broken = false;
        while (!broken) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            frames.append(buffer, static_cast<std::size_t>(n));
            bool malformed = false;
            while (auto body = frames.next(malformed)) {
                if (!take(*body)) {
                    broken = true;
                    break;
                }
            }
            broken = broken || malformed;
        }

        // The radio is gone (or spoke nonsense): the lines are closed under
        // the application, which learns it as TAPI tells it, by LINE_CLOSE.
        std::lock_guard lock(mutex_);
        connected_ = false;
        if (!closing_) {
            for (const auto& [handle, line] : lines_)
                events_.push_back({0, false, line.lineId, 0, LINE_CLOSE, 0, 0, 0});
            if (broken)
                handset::logLine("tapi", "the radio sent a malformed message; the line application is cut off");
        }
        changed_.notify_all();
    }

    // Files one body from the radio; false when it cannot be understood.
    bool take(const std::string& body)
    {
        wire::Reader in(body);
        if (in.type() == wire::Type::Reply) {
            std::uint32_t id = 0, status = 0;
            if (!in.u32(id) || !in.u32(status))
                return false;
            std::lock_guard lock(mutex_);
            const auto it = pending_.find(id);
            if (it != pending_.end() && !it->second) {
                it->second = Reply{static_cast<LONG>(status), body};
                changed_.notify_all();
            }
            return true;
        }
        if (in.type() == wire::Type::Event) {
            Event event;
            if (!in.u32(event.sequence) || !in.u32(event.lineId) || !in.u32(event.callId) || !in.u32(event.message) ||
                !in.u32(event.param1) || !in.u32(event.param2) || !in.u32(event.param3))
                return false;
            std::lock_guard lock(mutex_);
            events_.push_back(event);
            changed_.notify_all();
            return true;
        }
        return false;
    }

    void dispatchEvents()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return closing_ || !events_.empty(); });
            if (closing_)
                return;
            const Event event = events_.front();
            events_.pop_front();

            // Which handle the event is about; events of lines closed since
            // the radio sent them are dropped (and still confirmed).
            DWORD device = 0;
            DWORD param2 = event.param2;
            HLINE line = 0;
            if (const auto it = lineHandles_.find(event.lineId); it != lineHandles_.end())
                line = it->second;
            if (line != 0) {
                switch (event.message) {
                case LINE_APPNEWCALL: {
                    const HCALL call = newHandle();
                    calls_[call] = {line, event.callId};
                    callHandles_[{event.lineId, event.callId}] = call;
                    device = line;
                    param2 = call;
                    break;
                }
                case LINE_CALLINFO:
                case LINE_CALLSTATE:
                    if (const auto it = callHandles_.find({event.lineId, event.callId}); it != callHandles_.end() &&
                                                                                          calls_.count(it->second))
                        device = it->second;
                    break;
                default:
                    device = line;
                    break;
                }
            }

            if (device != 0) {
                const DWORD instance = lines_.at(line).instance;
                // A line the radio closed is gone before the application
                // hears of it, so that its handle is dead in the callback.
                if (event.message == LINE_CLOSE && !event.confirm) {
                    lines_.erase(line);
                    lineHandles_.erase(event.lineId);
                    forgetCallsOf(line, event.lineId);
                }
                callbackLine_ = line;
                lock.unlock();
                callback_(device, event.message, instance, event.param1, param2, event.param3);
                lock.lock();
                callbackLine_ = 0;
                changed_.notify_all();
                // An idle call is over; its handle goes with it.
                if (event.message == LINE_CALLSTATE && event.param1 == LINECALLSTATE_IDLE) {
                    calls_.erase(device);
                    callHandles_.erase({event.lineId, event.callId});
                }
            }
            if (event.confirm && connected_) {
                lock.unlock();
                {
                    std::lock_guard write(writeMutex_);
                    wire::sendAll(fd_, wire::Writer(wire::Type::EventDone).u32(event.sequence).frame());
                }
                lock.lock();
            }
        }
    }

    const HLINEAPP handle_;
    const LINECALLBACK callback_;
    const int fd_;
    DWORD deviceCount_ = 0;

    std::mutex writeMutex_;  // one frame at a time on the socket
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = true;
    bool closing_ = false;
    std::uint32_t nextRequest_ = 1;
    std::map<std::uint32_t, std::optional<Reply>> pending_;
    std::deque<Event> events_;
    std::map<HLINE, OpenLine> lines_;
    std::map<std::uint32_t, HLINE> lineHandles_;  // radio line id -> handle
    std::map<HCALL, CallHandle> calls_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, HCALL> callHandles_;  // (line id, call id) -> handle
    HLINE callbackLine_ = 0;  // the line whose callback is running

    std::thread reader_;
    std::thread dispatcher_;
};

// The line applications of the process. Never destroyed: a program that
// exits with a line open must not have its threads torn down under it.
struct Applications {
    std::mutex mutex;
    std::map<HLINEAPP, std::shared_ptr<LineApp>> apps;
};

Applications& applications()
{
    static auto* all = new Applications;
    return *all;
}

std::shared_ptr<LineApp> findApp(HLINEAPP handle)
{
    Applications& all = applications();
    std::lock_guard lock(all.mutex);
    const auto it = all.apps.find(handle);
    return it == all.apps.end() ? nullptr : it->second;
}

std::shared_ptr<LineApp> findAppOfLine(HLINE line)
{
    Applications& all = applications();
    std::vector<std::shared_ptr<LineApp>> apps;
    {
        std::lock_guard lock(all.mutex);
        for (const auto& [handle, app] : all.apps)
            apps.push_back(app);
    }
    for (const auto& app : apps)
        if (app->hasLine(line))
            return app;
    return nullptr;
}

// A reply's reader, past its id and status.
wire::Reader replyFields(const Reply& reply)
{
    wire::Reader in(reply.body);
    std::uint32_t skipped = 0;
    in.u32(skipped);
    in.u32(skipped);
    return in;
}

}  // namespace

LONG lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCWSTR, LPDWORD lpdwNumDevs)
{
    if (!lphLineApp || !lpfnCallback || !lpdwNumDevs)
        return LINEERR_INVALPOINTER;
    std::string error;
    const int fd = wire::connectSocket(handset::radio::socketPath(), error);
    if (fd < 0) {
        handset::logLine("tapi", "cannot reach the radio: " + error);
        return LINEERR_OPERATIONFAILED;
    }
    auto app = std::make_shared<LineApp>(newHandle(), lpfnCallback, fd);
    app->startThreads();
    const Reply hello = app->request(wire::Type::Hello, [](wire::Writer& out) {
        out.u32(wire::kProtocolVersion).u32(static_cast<std::uint32_t>(::getpid()));
    });
    std::uint32_t count = 0;
    wire::Reader in = replyFields(hello);
    if (hello.status != 0 || !in.u32(count) || count > kMaxLineDevices) {
        app->shutdown(app);
        return LINEERR_OPERATIONFAILED;
    }
    app->setDeviceCount(count);
    {
        Applications& all = applications();
        std::lock_guard lock(all.mutex);
        all.apps[app->handle()] = app;
    }
    *lphLineApp = app->handle();
    *lpdwNumDevs = count;
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                             LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID)
{
    const auto app = findApp(hLineApp);
    if (!app)
        return LINEERR_INVALAPPHANDLE;
    if (!lpdwAPIVersion || !lpExtensionID)
        return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->deviceCount())
        return LINEERR_BADDEVICEID;
    const Reply reply = app->request(wire::Type::Negotiate, [&](wire::Writer& out) {
        out.u32(dwDeviceID).u32(dwAPILowVersion).u32(dwAPIHighVersion);
    });
    if (reply.status != 0)
        return reply.status;
    std::uint32_t version = 0;
    wire::Reader in = replyFields(reply);
    if (!in.u32(version) || version < dwAPILowVersion || version > dwAPIHighVersion)
        return LINEERR_OPERATIONFAILED;
    *lpdwAPIVersion = version;
    std::memset(lpExtensionID, 0, sizeof *lpExtensionID);
    return 0;
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LPLINEDEVCAPS lpLineDevCaps)
{
    const auto app = findApp(hLineApp);
    if (!app)
        return LINEERR_INVALAPPHANDLE;
    if (!lpLineDevCaps)
        return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->deviceCount())
        return LINEERR_BADDEVICEID;
    if (dwAPIVersion < kApi14 || dwAPIVersion > TAPI_CURRENT_VERSION)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    const DWORD fixed = devCapsFixedSize(dwAPIVersion);
    if (lpLineDevCaps->dwTotalSize < fixed)
        return LINEERR_STRUCTURETOOSMALL;

    const Reply reply = app->request(wire::Type::GetDevCaps, [&](wire::Writer& out) {
        out.u32(dwDeviceID).u32(dwAPIVersion).u32(dwExtVersion);
    });
    if (reply.status != 0)
        return reply.status;
    std::u16string name;
    std::uint32_t permanentId = 0, mediaModes = 0, bearerModes = 0, addresses = 0, activeCalls = 0;
    wire::Reader in = replyFields(reply);
    if (!in.text(name, kMaxLineName) || !in.u32(permanentId) || !in.u32(mediaModes) || !in.u32(bearerModes) ||
        !in.u32(addresses) || !in.u32(activeCalls))
        return LINEERR_OPERATIONFAILED;

    LINEDEVCAPS caps{};
    caps.dwTotalSize = lpLineDevCaps->dwTotalSize;
    const DWORD nameBytes = static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR));
    caps.dwNeededSize = fixed + nameBytes;
    caps.dwPermanentLineID = permanentId;
    caps.dwStringFormat = STRINGFORMAT_UNICODE;
    caps.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps.dwNumAddresses = addresses;
    caps.dwBearerModes = bearerModes;
    caps.dwMediaModes = mediaModes;
    caps.dwMaxNumActiveCalls = activeCalls;
    const bool fits = caps.dwNeededSize <= caps.dwTotalSize;
    if (fits) {
        caps.dwLineNameSize = nameBytes;
        caps.dwLineNameOffset = fixed;
    }
    caps.dwUsedSize = fits ? caps.dwNeededSize : fixed;
    std::memcpy(lpLineDevCaps, &caps, fixed);
    if (fits)
        std::memcpy(reinterpret_cast<BYTE*>(lpLineDevCaps) + fixed, name.c_str(), nameBytes);
    return 0;
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
              DWORD dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, LPLINECALLPARAMS lpCallParams)
{
    const auto app = findApp(hLineApp);
    if (!app)
        return LINEERR_INVALAPPHANDLE;
    if (!lphLine)
        return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->deviceCount())
        return LINEERR_BADDEVICEID;
    if (lpCallParams)
        return LINEERR_INVALPARAM;
    const Reply reply = app->request(wire::Type::Open, [&](wire::Writer& out) {
        out.u32(dwDeviceID).u32(dwAPIVersion).u32(dwExtVersion).u32(dwPrivileges).u32(dwMediaModes);
    });
    if (reply.status != 0)
        return reply.status;
    std::uint32_t lineId = 0;
    wire::Reader in = replyFields(reply);
    if (!in.u32(lineId))
        return LINEERR_OPERATIONFAILED;
    *lphLine = app->addLine({lineId, dwDeviceID, dwAPIVersion, dwCallbackInstance});
    return 0;
}

LONG lineGetCallInfo(HCALL hCall, LPLINECALLINFO lpCallInfo)
{
    std::shared_ptr<LineApp> app;
    std::optional<LineApp::CallRef> call;
    {
        Applications& all = applications();
        std::vector<std::shared_ptr<LineApp>> apps;
        {
            std::lock_guard lock(all.mutex);
            for (const auto& [handle, candidate] : all.apps)
                apps.push_back(candidate);
        }
        for (const auto& candidate : apps) {
            if ((call = candidate->findCall(hCall))) {
                app = candidate;
                break;
            }
        }
    }
    if (!app)
        return LINEERR_INVALCALLHANDLE;
    if (!lpCallInfo)
        return LINEERR_INVALPOINTER;
    const DWORD fixed = callInfoFixedSize(call->apiVersion);
    if (lpCallInfo->dwTotalSize < fixed)
        return LINEERR_STRUCTURETOOSMALL;

    const Reply reply = app->request(wire::Type::GetCallInfo,
                                     [&](wire::Writer& out) { out.u32(call->lineId).u32(call->callId); });
    if (reply.status != 0)
        return reply.status;
    std::uint32_t device = 0, address = 0, bearer = 0, mediaMode = 0, state = 0, origin = 0, reason = 0, owners = 0,
                  monitors = 0, callerFlags = 0, callId = 0;
    std::u16string callerId;
    wire::Reader in = replyFields(reply);
    if (!in.u32(device) || !in.u32(address) || !in.u32(bearer) || !in.u32(mediaMode) || !in.u32(state) ||
        !in.u32(origin) || !in.u32(reason) || !in.u32(owners) || !in.u32(monitors) || !in.u32(callerFlags) ||
        !in.text(callerId, handset::radio::kMaxCallerIdLength) || !in.u32(callId))
        return LINEERR_OPERATIONFAILED;

    LINECALLINFO info{};
    info.dwTotalSize = lpCallInfo->dwTotalSize;
    info.hLine = call->line;
    info.dwLineDeviceID = device;
    info.dwAddressID = address;
    info.dwBearerMode = bearer;
    info.dwMediaMode = mediaMode;
    info.dwCallID = callId;
    info.dwCallStates = state;
    info.dwOrigin = origin;
    info.dwReason = reason;
    info.dwNumOwners = owners;
    info.dwNumMonitors = monitors;
    info.dwCallerIDFlags = callerFlags;
    // The caller ID is the one variable part; an empty one takes no room.
    const DWORD callerBytes =
        callerId.empty() ? 0 : static_cast<DWORD>((callerId.size() + 1) * sizeof(WCHAR));
    info.dwNeededSize = fixed + callerBytes;
    const bool fits = info.dwNeededSize <= info.dwTotalSize;
    if (fits && callerBytes) {
        info.dwCallerIDSize = callerBytes;
        info.dwCallerIDOffset = fixed;
    }
    info.dwUsedSize = fits ? info.dwNeededSize : fixed;
    std::memcpy(lpCallInfo, &info, fixed);
    if (fits && callerBytes)
        std::memcpy(reinterpret_cast<BYTE*>(lpCallInfo) + fixed, callerId.c_str(), callerBytes);
    return 0;
}

LONG lineClose(HLINE hLine)
{
    const auto app = findAppOfLine(hLine);
    if (!app)
        return LINEERR_INVALLINEHANDLE;
    const std::optional<std::uint32_t> lineId = app->forgetLine(hLine);
    if (!lineId)
        return LINEERR_INVALLINEHANDLE;
    // With the radio gone the line is closed already.
    if (app->connected())
        (void)app->request(wire::Type::Close, [&](wire::Writer& out) { out.u32(*lineId); });
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp)
{
    std::shared_ptr<LineApp> app;
    {
        Applications& all = applications();
        std::lock_guard lock(all.mutex);
        const auto it = all.apps.find(hLineApp);
        if (it == all.apps.end())
            return LINEERR_INVALAPPHANDLE;
        app = it->second;
        all.apps.erase(it);
    }
    // Closing the connection closes its lines at the radio too.
    app->shutdown(app);
    return 0;
}
