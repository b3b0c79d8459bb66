// The radio: line devices, their calls, and the socket every process's
// telephony library talks to.
//
// Two threads. The socket thread accepts connections, answers requests (all
// of them from memory, without waiting) and writes queued frames; the call
// thread offers calls one at a time and, after each event, waits for the
// lines' callbacks to return. Answering requests never waits for the call
// thread, so a callback may ask for the call's information while the radio
// waits for that very callback.
#include <handset/radio.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "calllog/calllog.h"
#include "tapi/protocol.h"

namespace handset::radio {

namespace {

using Clock = std::chrono::steady_clock;
namespace wire = tapi::wire;

constexpr std::size_t kMaxConnections = 256;
constexpr std::size_t kMaxLinesPerConnection = 64;
// A client that lets this much output pile up is not reading; it is dropped
// rather than let the radio's memory grow.
constexpr std::size_t kMaxPendingOutput = 1 << 20;

constexpr DWORD kValidPrivileges[] = {LINECALLPRIVILEGE_NONE, LINECALLPRIVILEGE_MONITOR, LINECALLPRIVILEGE_OWNER,
                                      LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER};

std::u16string readRingText(const WCHAR* path, const WCHAR* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    WCHAR buffer[512];
    DWORD type = 0, size = sizeof buffer;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::u16string text(buffer, size / sizeof(WCHAR));
    text.resize(std::min(text.size(), text.find(u'\0')));
    return text;
}

// What the phone rings with: the settings the line applications left.
RingReport readRing()
{
    constexpr const WCHAR* ringTone = u"ControlPanel\\Sounds\\RingTone0";
    RingReport ring;
    ring.sound = readRingText(ringTone, u"Sound");
    ring.script = readRingText(ringTone, u"Script");
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        DWORD value = 0, type = 0, size = sizeof value;
        if (RegQueryValueEx(key, u"InitVol", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value)
            ring.volume = value;
        RegCloseKey(key);
    }
    return ring;
}

std::string describe(const std::optional<std::u16string>& callerId)
{
    return callerId ? toUtf8(*callerId) : std::string("(no caller ID)");
}

calllog::Entry logEntry(const std::optional<std::u16string>& callerId, std::int64_t start)
{
    calllog::Entry entry;
    entry.start = start;
    entry.number = callerId;
    entry.callerIdType = callerId ? CALLERIDTYPE_AVAILABLE : CALLERIDTYPE_UNAVAILABLE;
    return entry;
}

// A call log that cannot be written costs the call its entry, nothing more.
void recordCall(calllog::Entry entry, CallOutcome outcome)
{
    entry.end = calllog::now();
    entry.outcome = outcome == CallOutcome::Answered   ? calllog::Outcome::Answered
                    : outcome == CallOutcome::Rejected ? calllog::Outcome::Rejected
                                                       : calllog::Outcome::Missed;
    if (const std::string error = calllog::record(entry); !error.empty())
        logLine("calllog", error);
}

std::chrono::milliseconds boundedCallTime(std::chrono::milliseconds time)
{
    return std::clamp(time, std::chrono::milliseconds(0), kMaxCallTime);
}

}  // namespace

class Server::Impl {
public:
    enum class Action { None, Answer, Reject, HangUp };

    Impl(std::filesystem::path socket, int listenFd, std::vector<LineDevice> lines, ServerOptions options)
        : socket_(std::move(socket)), listenFd_(listenFd), devices_(std::move(lines)), options_(options)
    {
        struct stat made {};
        if (::stat(socket_.c_str(), &made) == 0)
            socketInode_ = made.st_ino;
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        socketThread_ = std::thread([this] { serveSockets(); });
        callThread_ = std::thread([this] { offerCalls(); });
    }

    ~Impl()
    {
        // The call in progress ends first, reported to its lines and its
        // caller as any call that ends; then the sockets close.
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        callThread_.join();
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        wake();
        socketThread_.join();
        for (auto& [id, connection] : connections_)
            ::close(connection.fd);
        ::close(listenFd_);
        ::close(wakeFd_);
        // Only our own socket file goes: a radio started since may own the name.
        struct stat now {};
        if (::stat(socket_.c_str(), &now) == 0 && now.st_ino == socketInode_)
            ::unlink(socket_.c_str());
    }

    OfferResult offer(DWORD deviceId, const IncomingCall& call)
    {
        auto promise = std::make_shared<std::promise<OfferResult>>();
        std::future<OfferResult> future = promise->get_future();
        if (!enqueue(deviceId, call, [promise](const OfferResult& result) { promise->set_value(result); }, {})) {
            OfferResult refused;
            refused.status = LINEERR_OPERATIONFAILED;
            return refused;
        }
        return future.get();
    }

    DWORD cellularLine() const
    {
        // The phone's software takes the last line of that name; calls
        // arrive where it listens.
        DWORD line = 0;
        for (std::size_t i = 0; i < devices_.size(); ++i)
            if (devices_[i].name == kCellularLineName)
                line = static_cast<DWORD>(i);
        return line;
    }

    LONG act(Action action)
    {
        std::lock_guard lock(mutex_);
        return actLocked(action);
    }

    std::vector<OpenLineInfo> openLines() const
    {
        std::lock_guard lock(mutex_);
        std::vector<OpenLineInfo> open;
        for (const auto& [id, line] : lines_)
            open.push_back({line.device, line.apiVersion, line.privileges, line.mediaModes});
        return open;
    }

private:
    struct Connection {
        std::uint32_t id = 0;
        int fd = -1;
        pid_t pid = 0;
        wire::FrameBuffer in;
        std::string out;
        bool greeted = false;
        bool dead = false;
        std::size_t lines = 0;
    };

    struct Line {
        std::uint32_t connection = 0;
        DWORD device = 0;
        DWORD apiVersion = 0;
        DWORD privileges = 0;
        DWORD mediaModes = 0;
    };

    struct Call {
        DWORD device = 0;
        std::optional<std::u16string> callerId;
        bool callerIdReported = false;
        bool mediaModeReported = false;
        DWORD state = LINECALLSTATE_OFFERING;
        std::map<std::uint32_t, DWORD> recipients;  // line id -> the privilege it has on the call
        DWORD owners = 0;
        DWORD monitors = 0;
    };

    using Done = std::function<void(const OfferResult&)>;
    struct Job {
        DWORD device = 0;
        IncomingCall call;
        Done done;
        Done ringing;  // may be empty
    };

    // The call that rings for a while or is connected: what the phone's
    // user may do with it.
    enum class Phase { Ringing, Connected, Ending };
    struct Active {
        std::uint32_t callId = 0;
        Phase phase = Phase::Ringing;
        Action action = Action::None;
    };

    struct Watcher {
        std::uint32_t connection = 0;
        std::uint32_t request = 0;
        std::uint32_t callId = 0;
    };

    LONG actLocked(Action action)
    {
        const Phase needed = action == Action::HangUp ? Phase::Connected : Phase::Ringing;
        if (!active_ || active_->phase != needed || active_->action != Action::None)
            return LINEERR_INVALCALLSTATE;
        active_->action = action;
        changed_.notify_all();
        return 0;
    }

    // A call that comes while another rings or is connected: the network
    // tells its caller the phone is busy; the phone logs it as missed once
    // the call in progress has ended. Called with the lock held.
    void noteBusy(const IncomingCall& call)
    {
        busyLog_.push_back(logEntry(call.callerId, calllog::now()));
        logLine("call", "call from " + describe(call.callerId) + " refused: the phone is busy with call " +
                            std::to_string(active_->callId));
    }

    static OfferResult busyResult()
    {
        OfferResult busy;
        busy.outcome = CallOutcome::Busy;
        return busy;
    }

    // --- the call thread ---------------------------------------------------

    bool enqueue(DWORD deviceId, const IncomingCall& call, Done done, Done ringing)
    {
        bool busy = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || ending_)
                return false;
            busy = active_.has_value();
            if (busy)
                noteBusy(call);
            else
                jobs_.push_back({deviceId, call, std::move(done), std::move(ringing)});
        }
        if (busy) {
            // Without the lock, as the call thread calls it.
            done(busyResult());
            return true;
        }
        changed_.notify_all();
        return true;
    }

    void offerCalls()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || ending_ || !jobs_.empty(); });
            if (stopping_ || ending_)
                break;
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            const OfferResult result = runCall(job.device, job.call, job.ringing);
            job.done(result);
            lock.lock();
        }
        // Calls not offered by now never will be.
        std::deque<Job> left = std::move(jobs_);
        lock.unlock();
        OfferResult failed;
        failed.status = LINEERR_OPERATIONFAILED;
        for (Job& job : left)
            job.done(failed);
    }

    OfferResult runCall(DWORD deviceId, const IncomingCall& incoming, const Done& ringing)
    {
        OfferResult result;
        if (deviceId >= devices_.size()) {
            result.status = LINEERR_BADDEVICEID;
            return result;
        }
        if ((incoming.callerId && incoming.callerId->size() > kMaxCallerIdLength) ||
            incoming.reports.size() > kMaxCallReports) {
            result.status = LINEERR_INVALPARAM;
            return result;
        }

        std::uint32_t callId = 0;
        std::set<std::uint32_t> late;  // connections no longer waited for during this call
        calllog::Entry entry = logEntry(incoming.callerId, calllog::now());
        {
            std::lock_guard lock(mutex_);
            callId = nextCallId_++;
            Call call;
            call.device = deviceId;
            call.callerId = incoming.callerId;
            // The first owner that handles voice owns the call; monitors see
            // it; a line opened for outgoing calls only hears nothing.
            for (const auto& [lineId, line] : lines_) {
                if (line.device != deviceId)
                    continue;
                if ((line.privileges & LINECALLPRIVILEGE_OWNER) && call.owners == 0 &&
                    (line.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE)) {
                    call.recipients[lineId] = LINECALLPRIVILEGE_OWNER;
                    ++call.owners;
                } else if (line.privileges & LINECALLPRIVILEGE_MONITOR) {
                    call.recipients[lineId] = LINECALLPRIVILEGE_MONITOR;
                    ++call.monitors;
                }
            }
            std::set<std::uint32_t> applications;
            for (const auto& [lineId, privilege] : call.recipients)
                applications.insert(lines_.at(lineId).connection);
            result.linesReached = static_cast<DWORD>(applications.size());
            calls_[callId] = std::move(call);
        }
        logLine("call", "incoming call " + std::to_string(callId) + " from " + describe(incoming.callerId) +
                            " on " + toUtf8(devices_[deviceId].name) + ", reported to " +
                            std::to_string(result.linesReached) + " line application(s)");

        // The new call: each line learns its handle and its privilege.
        report(callId, late, LINE_APPNEWCALL, 0, 0, std::nullopt);
        report(callId, late, LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE, 0);

        std::optional<Clock::time_point> callerIdSent;
        for (const CallReport& step : incoming.reports) {
            {
                std::lock_guard lock(mutex_);
                Call& call = calls_.at(callId);
                if (step.message == LINE_CALLINFO) {
                    if (step.param1 & LINECALLINFOSTATE_CALLERID)
                        call.callerIdReported = true;
                    if (step.param1 & LINECALLINFOSTATE_MEDIAMODE)
                        call.mediaModeReported = true;
                } else if (step.message == LINE_CALLSTATE) {
                    call.state = step.param1;
                }
            }
            if (step.message == LINE_CALLINFO && (step.param1 & LINECALLINFOSTATE_CALLERID))
                callerIdSent = Clock::now();
            report(callId, late, step.message, step.param1, step.param2, step.param3);
        }

        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                calls_.erase(callId);
                result.status = LINEERR_OPERATIONFAILED;
                return result;
            }
        }

        // The phone rings with what the line applications left in the registry.
        result.ring = readRing();
        if (callerIdSent)
            result.callerIdToRing = Clock::now() - *callerIdSent;
        logLine("ring", "sound=" + toUtf8(result.ring.sound) + " script=" + toUtf8(result.ring.script) +
                            " volume=" + (result.ring.volume ? std::to_string(*result.ring.volume) : ""));
        const std::chrono::milliseconds ringFor = boundedCallTime(incoming.ringFor);
        if (ringFor.count() > 0)
            startRinging(callId);
        const Clock::time_point ringStart = Clock::now();
        std::unique_ptr<Ringer> ringer;
        if (options_.ringer)
            ringer = options_.ringer(callId, incoming.callerId, result.ring);
        result.callId = callId;
        if (ringing)
            ringing(result);
        // The name the phone shows is the one the log keeps.
        if (incoming.callerId)
            if (auto contact = findCallerContact(*incoming.callerId)) {
                entry.name = contact->name;
                if (!contact->numberKind.empty())
                    entry.nameType = contact->numberKind;
            }

        result.outcome = ringUntilEnded(ringFor);
        result.rang = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ringStart);
        if (ringer)
            ringer->stop();
        DWORD disconnect = LINEDISCONNECTMODE_NOANSWER;
        if (result.outcome == CallOutcome::Answered) {
            logLine("call", "call " + std::to_string(callId) + " answered");
            setState(callId, LINECALLSTATE_CONNECTED);
            report(callId, late, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
            talkUntilEnded(incoming.talkFor);
            disconnect = LINEDISCONNECTMODE_NORMAL;
        } else if (result.outcome == CallOutcome::Rejected) {
            logLine("call", "call " + std::to_string(callId) + " rejected");
            disconnect = LINEDISCONNECTMODE_REJECT;
        }

        setState(callId, LINECALLSTATE_DISCONNECTED);
        report(callId, late, LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, disconnect, 0);
        setState(callId, LINECALLSTATE_IDLE);
        report(callId, late, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);

        recordCall(std::move(entry), result.outcome);
        std::vector<calllog::Entry> refused;
        {
            std::lock_guard lock(mutex_);
            calls_.erase(callId);
            active_.reset();
            refused = std::move(busyLog_);
            busyLog_.clear();
            for (auto it = watchers_.begin(); it != watchers_.end();) {
                if (it->callId != callId) {
                    ++it;
                    continue;
                }
                if (const auto connection = connections_.find(it->connection); connection != connections_.end())
                    reply(connection->second, it->request, 0);
                it = watchers_.erase(it);
            }
            wake();
            if (stopping_)
                result.status = LINEERR_OPERATIONFAILED;
        }
        for (calllog::Entry& busy : refused)
            recordCall(std::move(busy), CallOutcome::Busy);
        logLine("call", "call " + std::to_string(callId) + " ended: " + outcomeName(result.outcome));
        result.linesLate = static_cast<DWORD>(late.size());
        return result;
    }

    // The call rings for a while: the phone's user may answer or reject it,
    // and calls waiting meanwhile are refused busy, as the phone has one call
    // at a time.
    void startRinging(std::uint32_t callId)
    {
        std::deque<Job> waiting;
        {
            std::lock_guard lock(mutex_);
            active_ = Active{callId, Phase::Ringing, Action::None};
            waiting = std::move(jobs_);
            jobs_.clear();
            for (const Job& job : waiting)
                noteBusy(job.call);
        }
        for (const Job& job : waiting)
            job.done(busyResult());
    }

    // Rings for `ringFor` unless the phone's user answers or rejects first,
    // or the radio stops (the call is then missed).
    CallOutcome ringUntilEnded(std::chrono::milliseconds ringFor)
    {
        if (ringFor.count() == 0)
            return CallOutcome::Missed;
        Action action = Action::None;
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, ringFor, [&] { return ending_ || active_->action != Action::None; });
            action = active_->action;
            active_->action = Action::None;
            active_->phase = action == Action::Answer ? Phase::Connected : Phase::Ending;
        }
        return action == Action::Answer   ? CallOutcome::Answered
               : action == Action::Reject ? CallOutcome::Rejected
                                          : CallOutcome::Missed;
    }

    // The connected call lasts until the phone hangs up, the caller's
    // `talkFor` has passed or the radio stops.
    void talkUntilEnded(std::optional<std::chrono::milliseconds> talkFor)
    {
        std::unique_lock lock(mutex_);
        const auto hungUp = [&] { return ending_ || active_->action == Action::HangUp; };
        if (talkFor)
            changed_.wait_for(lock, boundedCallTime(*talkFor), hungUp);
        else
            changed_.wait(lock, hungUp);
        active_->phase = Phase::Ending;
    }

    void setState(std::uint32_t callId, DWORD state)
    {
        std::lock_guard lock(mutex_);
        calls_.at(callId).state = state;
    }

    // Sends one event of the call to each of its lines still open and waits
    // until their callbacks have returned: each line application gets the
    // callback timeout, all of them at once. `param3` unset means "the
    // line's privilege" (LINE_APPNEWCALL).
    void report(std::uint32_t callId, std::set<std::uint32_t>& late, DWORD message, DWORD param1, DWORD param2,
                std::optional<DWORD> param3)
    {
        std::unique_lock lock(mutex_);
        if (stopping_)
            return;
        std::set<std::uint32_t> waitingFor;  // event sequence numbers
        for (const auto& [lineId, privilege] : calls_.at(callId).recipients) {
            const auto line = lines_.find(lineId);
            if (line == lines_.end())
                continue;  // closed since the call came in
            const auto connection = connections_.find(line->second.connection);
            if (connection == connections_.end() || connection->second.dead)
                continue;
            const std::uint32_t sequence = nextSequence_++;
            queue(connection->second, wire::Writer(wire::Type::Event)
                                          .u32(sequence)
                                          .u32(lineId)
                                          .u32(callId)
                                          .u32(message)
                                          .u32(param1)
                                          .u32(param2)
                                          .u32(param3.value_or(privilege)));
            if (!late.count(connection->second.id)) {
                awaiting_[sequence] = connection->second.id;
                waitingFor.insert(sequence);
            }
        }
        wake();

        const auto pending = [&] {
            return std::any_of(waitingFor.begin(), waitingFor.end(), [&](std::uint32_t s) { return awaiting_.count(s); });
        };
        const Clock::time_point deadline = Clock::now() + options_.callbackTimeout;
        changed_.wait_until(lock, deadline, [&] { return stopping_ || ending_ || !pending(); });

        // Whoever has not answered by now is hung; the phone does not wait
        // for it again during this call.
        for (std::uint32_t sequence : waitingFor) {
            const auto it = awaiting_.find(sequence);
            if (it == awaiting_.end())
                continue;
            const std::uint32_t connectionId = it->second;
            awaiting_.erase(it);
            if (!late.insert(connectionId).second || stopping_ || ending_)
                continue;
            const auto connection = connections_.find(connectionId);
            const std::string who = connection == connections_.end()
                                        ? std::string("a line application")
                                        : "the line application of process " + std::to_string(connection->second.pid);
            logLine("call", who + " did not return from its callback within " +
                                std::to_string(options_.callbackTimeout.count()) +
                                " ms; call " + std::to_string(callId) + " goes on without it");
        }
    }

    // --- the socket thread -------------------------------------------------

    void wake()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }

    void queue(Connection& connection, const wire::Writer& frame)
    {
        if (connection.dead)
            return;
        connection.out += frame.frame();
        if (connection.out.size() > kMaxPendingOutput) {
            drop(connection, "does not read what the radio sends");
            connection.out.clear();
        }
    }

    void drop(Connection& connection, const std::string& why)
    {
        if (connection.dead)
            return;
        connection.dead = true;
        if (!why.empty())
            logLine("radio", "dropped the connection of process " + std::to_string(connection.pid) + ": " + why);
    }

    void serveSockets()
    {
        std::vector<pollfd> fds;
        std::vector<std::uint32_t> ids;
        for (;;) {
            fds.clear();
            ids.clear();
            {
                std::lock_guard lock(mutex_);
                if (stopping_) {
                    // The answers to the calls that just ended still go out.
                    for (auto& [id, connection] : connections_)
                        writeTo(connection);
                    return;
                }
                fds.push_back({wakeFd_, POLLIN, 0});
                fds.push_back({listenFd_, static_cast<short>(connections_.size() < kMaxConnections ? POLLIN : 0), 0});
                for (const auto& [id, connection] : connections_) {
                    fds.push_back({connection.fd, static_cast<short>(POLLIN | (connection.out.empty() ? 0 : POLLOUT)), 0});
                    ids.push_back(id);
                }
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return;

            if (fds[0].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            }
            std::lock_guard lock(mutex_);
            if (fds[1].revents & POLLIN)
                acceptConnections();
            for (std::size_t i = 0; i < ids.size(); ++i) {
                const auto it = connections_.find(ids[i]);
                if (it == connections_.end())
                    continue;
                Connection& connection = it->second;
                if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))
                    readFrom(connection);
            }
            // Replies made above and events queued by the call thread go out
            // now, as far as the sockets take them.
            for (auto& [id, connection] : connections_)
                writeTo(connection);
            removeDeadConnections();
        }
    }

    void acceptConnections()
    {
        for (;;) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            Connection connection;
            connection.id = nextConnectionId_++;
            connection.fd = fd;
            ucred peer{};
            socklen_t size = sizeof peer;
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0)
                connection.pid = peer.pid;
            connections_[connection.id] = std::move(connection);
            if (connections_.size() >= kMaxConnections)
                return;
        }
    }

    void readFrom(Connection& connection)
    {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (n <= 0) {
                drop(connection, "");  // the application went away
                return;
            }
            connection.in.append(buffer, static_cast<std::size_t>(n));
            bool malformed = false;
            while (auto body = connection.in.next(malformed)) {
                handle(connection, *body);
                if (connection.dead)
                    return;
            }
            if (malformed) {
                drop(connection, "a frame of impossible length");
                return;
            }
        }
    }

    // Writes what the socket takes. A connection being dropped still gets
    // what was queued for it (a refusal says why), as far as it fits.
    void writeTo(Connection& connection)
    {
        while (!connection.out.empty()) {
            const ssize_t n = ::send(connection.fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n <= 0) {
                drop(connection, "");
                connection.out.clear();
                return;
            }
            connection.out.erase(0, static_cast<std::size_t>(n));
        }
    }

    void removeDeadConnections()
    {
        bool removed = false;
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (!it->second.dead) {
                ++it;
                continue;
            }
            const std::uint32_t id = it->first;
            for (auto line = lines_.begin(); line != lines_.end();)
                line = line->second.connection == id ? lines_.erase(line) : std::next(line);
            for (auto wait = awaiting_.begin(); wait != awaiting_.end();)
                wait = wait->second == id ? awaiting_.erase(wait) : std::next(wait);
            ::close(it->second.fd);
            it = connections_.erase(it);
            removed = true;
        }
        if (removed)
            changed_.notify_all();
    }

    // --- requests ----------------------------------------------------------

    void reply(Connection& connection, std::uint32_t request, LONG status, const std::function<void(wire::Writer&)>& fill = {})
    {
        wire::Writer frame(wire::Type::Reply);
        frame.u32(request).u32(static_cast<std::uint32_t>(status));
        if (fill && status == 0)
            fill(frame);
        queue(connection, frame);
    }

    bool apiVersionFits(const LineDevice& line, DWORD version) const
    {
        return version >= line.lowestApiVersion && version <= line.highestApiVersion;
    }

    void handle(Connection& connection, const std::string& body)
    {
        wire::Reader in(body);
        const wire::Type type = in.type();
        if (type == wire::Type::EventDone) {
            std::uint32_t sequence = 0;
            if (!in.u32(sequence))
                return drop(connection, "a malformed message");
            // Only the connection the event went to can confirm it.
            const auto it = awaiting_.find(sequence);
            if (it != awaiting_.end() && it->second == connection.id) {
                awaiting_.erase(it);
                changed_.notify_all();
            }
            return;
        }

        std::uint32_t request = 0;
        if (!in.u32(request))
            return drop(connection, "a malformed message");
        if (!connection.greeted && type != wire::Type::Hello)
            return drop(connection, "a request before its greeting");

        switch (type) {
        case wire::Type::Hello: {
            std::uint32_t protocol = 0, pid = 0;
            if (!in.u32(protocol) || !in.u32(pid))
                return drop(connection, "a malformed message");
            if (protocol != wire::kProtocolVersion) {
                reply(connection, request, LINEERR_OPERATIONFAILED);
                return drop(connection, "protocol version " + std::to_string(protocol) + " is not spoken here");
            }
            connection.greeted = true;
            const auto count = static_cast<std::uint32_t>(devices_.size());
            return reply(connection, request, 0, [&](wire::Writer& out) { out.u32(count); });
        }
        case wire::Type::Negotiate: {
            std::uint32_t device = 0, low = 0, high = 0;
            if (!in.u32(device) || !in.u32(low) || !in.u32(high))
                return drop(connection, "a malformed message");
            if (device >= devices_.size())
                return reply(connection, request, LINEERR_BADDEVICEID);
            const LineDevice& line = devices_[device];
            const DWORD version = std::min<DWORD>(high, line.highestApiVersion);
            if (low > high || version < low || version < line.lowestApiVersion)
                return reply(connection, request, LINEERR_INCOMPATIBLEAPIVERSION);
            return reply(connection, request, 0, [&](wire::Writer& out) { out.u32(version); });
        }
        case wire::Type::GetDevCaps: {
            std::uint32_t device = 0, api = 0, ext = 0;
            if (!in.u32(device) || !in.u32(api) || !in.u32(ext))
                return drop(connection, "a malformed message");
            if (device >= devices_.size())
                return reply(connection, request, LINEERR_BADDEVICEID);
            const LineDevice& line = devices_[device];
            if (!apiVersionFits(line, api))
                return reply(connection, request, LINEERR_INCOMPATIBLEAPIVERSION);
            if (ext != 0)
                return reply(connection, request, LINEERR_INCOMPATIBLEEXTVERSION);
            if (line.devCapsError != 0)
                return reply(connection, request, line.devCapsError);
            return reply(connection, request, 0, [&](wire::Writer& out) {
                out.text(line.name).u32(device).u32(line.mediaModes).u32(LINEBEARERMODE_VOICE).u32(1).u32(1);
            });
        }
        case wire::Type::Open: {
            std::uint32_t device = 0, api = 0, ext = 0, privileges = 0, modes = 0;
            if (!in.u32(device) || !in.u32(api) || !in.u32(ext) || !in.u32(privileges) || !in.u32(modes))
                return drop(connection, "a malformed message");
            if (device >= devices_.size())
                return reply(connection, request, LINEERR_BADDEVICEID);
            const LineDevice& line = devices_[device];
            if (!apiVersionFits(line, api))
                return reply(connection, request, LINEERR_INCOMPATIBLEAPIVERSION);
            if (ext != 0)
                return reply(connection, request, LINEERR_INCOMPATIBLEEXTVERSION);
            if (std::find(std::begin(kValidPrivileges), std::end(kValidPrivileges), privileges) ==
                std::end(kValidPrivileges))
                return reply(connection, request, LINEERR_INVALPRIVSELECT);
            // The media modes say which calls an owner takes; a monitor
            // takes none, so for it they do not count.
            if (privileges & LINECALLPRIVILEGE_OWNER) {
                if (modes == 0 || (modes & ~LINEMEDIAMODE_ALL_KNOWN) || (modes & ~line.mediaModes))
                    return reply(connection, request, LINEERR_INVALMEDIAMODE);
            } else {
                modes = 0;
            }
            if (connection.lines >= kMaxLinesPerConnection)
                return reply(connection, request, LINEERR_RESOURCEUNAVAIL);
            const std::uint32_t lineId = nextLineId_++;
            lines_[lineId] = {connection.id, device, api, privileges, modes};
            ++connection.lines;
            return reply(connection, request, 0, [&](wire::Writer& out) { out.u32(lineId); });
        }
        case wire::Type::Close: {
            std::uint32_t lineId = 0;
            if (!in.u32(lineId))
                return drop(connection, "a malformed message");
            const auto it = lines_.find(lineId);
            if (it == lines_.end() || it->second.connection != connection.id)
                return reply(connection, request, LINEERR_INVALLINEHANDLE);
            lines_.erase(it);
            --connection.lines;
            return reply(connection, request, 0);
        }
        case wire::Type::GetCallInfo: {
            std::uint32_t lineId = 0, callId = 0;
            if (!in.u32(lineId) || !in.u32(callId))
                return drop(connection, "a malformed message");
            const auto line = lines_.find(lineId);
            const auto call = calls_.find(callId);
            if (line == lines_.end() || line->second.connection != connection.id || call == calls_.end() ||
                !call->second.recipients.count(lineId))
                return reply(connection, request, LINEERR_INVALCALLHANDLE);
            const Call& c = call->second;
            const bool known = c.callerIdReported;
            const DWORD callerFlags = !known ? LINECALLPARTYID_UNKNOWN
                                      : c.callerId ? LINECALLPARTYID_ADDRESS
                                                   : LINECALLPARTYID_UNAVAIL;
            const std::u16string callerId = known && c.callerId ? *c.callerId : std::u16string();
            return reply(connection, request, 0, [&](wire::Writer& out) {
                out.u32(c.device)
                    .u32(0)
                    .u32(LINEBEARERMODE_VOICE)
                    .u32(c.mediaModeReported ? LINEMEDIAMODE_INTERACTIVEVOICE : LINEMEDIAMODE_UNKNOWN)
                    .u32(c.state)
                    .u32(LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND)
                    .u32(LINECALLREASON_DIRECT)
                    .u32(c.owners)
                    .u32(c.monitors)
                    .u32(callerFlags)
                    .text(callerId)
                    .u32(callId);
            });
        }
        case wire::Type::OfferCall: {
            std::uint32_t hasCallerId = 0, count = 0;
            IncomingCall call;
            std::u16string callerId;
            if (!in.u32(hasCallerId) || !in.text(callerId, kMaxCallerIdLength) || !in.u32(count))
                return drop(connection, "a malformed message");
            if (count > kMaxCallReports)
                return reply(connection, request, LINEERR_INVALPARAM);
            for (std::uint32_t i = 0; i < count; ++i) {
                CallReport step;
                if (!in.u32(step.message) || !in.u32(step.param1) || !in.u32(step.param2) || !in.u32(step.param3))
                    return drop(connection, "a malformed message");
                // Reports are call information and call states; the other
                // messages belong to the radio's own sequence.
                if (step.message != LINE_CALLINFO && step.message != LINE_CALLSTATE)
                    return reply(connection, request, LINEERR_INVALPARAM);
                call.reports.push_back(step);
            }
            std::uint32_t ringMs = 0, hasTalk = 0, talkMs = 0;
            if (!in.u32(ringMs) || !in.u32(hasTalk) || !in.u32(talkMs))
                return drop(connection, "a malformed message");
            call.ringFor = boundedCallTime(std::chrono::milliseconds(ringMs));
            if (hasTalk)
                call.talkFor = boundedCallTime(std::chrono::milliseconds(talkMs));
            if (hasCallerId)
                call.callerId = std::move(callerId);
            if (ending_)
                return reply(connection, request, LINEERR_OPERATIONFAILED);
            const std::uint32_t connectionId = connection.id;
            Done done = [this, connectionId, request](const OfferResult& result) {
                answerOffer(connectionId, request, result);
            };
            if (active_) {
                noteBusy(call);
                return queue(connection, offerReply(request, busyResult()));
            }
            const DWORD device = cellularLine();
            // The reply waits for the end of the call; the call thread takes
            // the lock itself, so the job is queued without it.
            jobs_.push_back({device, std::move(call), std::move(done),
                             [this, connectionId, request](const OfferResult& rang) {
                                 tellRinging(connectionId, request, rang);
                             }});
            changed_.notify_all();
            return;
        }
        case wire::Type::Answer:
            return reply(connection, request, actLocked(Action::Answer));
        case wire::Type::Reject:
            return reply(connection, request, actLocked(Action::Reject));
        case wire::Type::HangUp:
            return reply(connection, request, actLocked(Action::HangUp));
        case wire::Type::Watch: {
            std::uint32_t callId = 0;
            if (!in.u32(callId))
                return drop(connection, "a malformed message");
            if (!calls_.count(callId))
                return reply(connection, request, 0);  // over already
            if (watchers_.size() >= kMaxConnections)
                return reply(connection, request, LINEERR_RESOURCEUNAVAIL);
            watchers_.push_back({connection.id, request, callId});
            return;
        }
        default:
            return drop(connection, "a message of unknown type " + std::to_string(static_cast<std::uint32_t>(type)));
        }
    }

    void tellRinging(std::uint32_t connectionId, std::uint32_t request, const OfferResult& result)
    {
        std::lock_guard lock(mutex_);
        const auto it = connections_.find(connectionId);
        if (it == connections_.end())
            return;
        wire::Writer frame(wire::Type::Ringing);
        frame.u32(request)
            .text(result.ring.sound)
            .text(result.ring.script)
            .u32(result.ring.volume ? 1 : 0)
            .u32(result.ring.volume.value_or(0))
            .u32(result.callId);
        queue(it->second, frame);
        wake();
    }

    void answerOffer(std::uint32_t connectionId, std::uint32_t request, const OfferResult& result)
    {
        std::lock_guard lock(mutex_);
        const auto it = connections_.find(connectionId);
        if (it == connections_.end())
            return;
        queue(it->second, offerReply(request, result));
        wake();
    }

    static wire::Writer offerReply(std::uint32_t request, const OfferResult& result)
    {
        wire::Writer frame(wire::Type::Reply);
        frame.u32(request).u32(static_cast<std::uint32_t>(result.status));
        if (result.ok()) {
            const auto ns = static_cast<std::uint64_t>(result.callerIdToRing.count());
            frame.text(result.ring.sound)
                .text(result.ring.script)
                .u32(result.ring.volume ? 1 : 0)
                .u32(result.ring.volume.value_or(0))
                .u32(result.linesReached)
                .u32(result.linesLate)
                .u32(static_cast<std::uint32_t>(ns))
                .u32(static_cast<std::uint32_t>(ns >> 32))
                .u32(static_cast<std::uint32_t>(result.outcome))
                .u32(static_cast<std::uint32_t>(result.rang.count()))
                .u32(result.callId);
        }
        return frame;
    }

    const std::filesystem::path socket_;
    ino_t socketInode_ = 0;
    const int listenFd_;
    int wakeFd_ = -1;
    const std::vector<LineDevice> devices_;
    const ServerOptions options_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool ending_ = false;  // the radio stops: the call in progress ends, no other begins
    std::optional<Active> active_;
    std::vector<calllog::Entry> busyLog_;  // calls refused busy, logged when the current call ends
    std::vector<Watcher> watchers_;
    std::map<std::uint32_t, Connection> connections_;
    std::map<std::uint32_t, Line> lines_;
    std::map<std::uint32_t, Call> calls_;
    std::map<std::uint32_t, std::uint32_t> awaiting_;  // event sequence -> connection
    std::deque<Job> jobs_;
    std::uint32_t nextConnectionId_ = 1;
    std::uint32_t nextLineId_ = 1;
    std::uint32_t nextCallId_ = 1;
    std::uint32_t nextSequence_ = 1;

    std::thread socketThread_;
    std::thread callThread_;
};

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Server::~Server() = default;

Server::StartResult Server::start(const std::filesystem::path& socket, std::vector<LineDevice> lines,
                                  ServerOptions options)
{
    StartResult result;
    std::error_code ec;
    std::filesystem::create_directories(socket.parent_path(), ec);
    if (std::filesystem::exists(socket, ec)) {
        std::string ignored;
        const int other = wire::connectSocket(socket, ignored);
        if (other >= 0) {
            ::close(other);
            result.error = "a radio already answers on " + socket.string();
            return result;
        }
        // Left behind by a radio that did not stop cleanly.
        std::filesystem::remove(socket, ec);
    }
    std::string error;
    const int fd = wire::listenSocket(socket, error);
    if (fd < 0) {
        result.error = "cannot listen on " + socket.string() + ": " + error;
        return result;
    }
    result.server.reset(new Server(std::make_unique<Impl>(socket, fd, std::move(lines), options)));
    return result;
}

OfferResult Server::offerCall(DWORD deviceId, const IncomingCall& call)
{
    return impl_->offer(deviceId, call);
}

DWORD Server::cellularLine() const
{
    return impl_->cellularLine();
}

std::vector<OpenLineInfo> Server::openLines() const
{
    return impl_->openLines();
}

LONG Server::answer()
{
    return impl_->act(Impl::Action::Answer);
}

LONG Server::reject()
{
    return impl_->act(Impl::Action::Reject);
}

LONG Server::hangUp()
{
    return impl_->act(Impl::Action::HangUp);
}

const char* outcomeName(CallOutcome outcome)
{
    switch (outcome) {
    case CallOutcome::Answered:
        return "answered";
    case CallOutcome::Rejected:
        return "rejected";
    case CallOutcome::Busy:
        return "busy";
    case CallOutcome::Missed:
        break;
    }
    return "missed";
}

}  // namespace handset::radio
