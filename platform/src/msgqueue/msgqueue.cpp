#include <handset/msgqueue.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include <handset/errors.h>

// The kernel's last-error slot (it lives with the kernel handles for now).
void SetLastError(DWORD dwErrCode);

namespace handset {

namespace {

using Clock = std::chrono::steady_clock;

DWORD tickCount()
{
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<DWORD>(since.count());
}

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    std::chrono::milliseconds period;
    TIMERPROC proc;
    Clock::time_point due;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
};

// Every thread's queue, by thread id, so that other threads can post to it.
struct Queues {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<Queue>> byThread;
};

// Never destroyed: threads may still end (and unregister) while the
// process's static objects go away.
Queues& queues()
{
    static Queues* all = new Queues;
    return *all;
}

std::shared_ptr<Queue> queueOf(DWORD threadId)
{
    Queues& all = queues();
    std::lock_guard lock(all.mutex);
    const auto it = all.byThread.find(threadId);
    return it == all.byThread.end() ? nullptr : it->second;
}

// The calling thread's queue; it goes away with the thread, so that posting
// to a thread that ended fails as on the phone.
class OwnQueue {
public:
    OwnQueue() : thread_(GetCurrentThreadId()), queue_(std::make_shared<Queue>())
    {
        Queues& all = queues();
        std::lock_guard lock(all.mutex);
        all.byThread[thread_] = queue_;
    }
    ~OwnQueue()
    {
        Queues& all = queues();
        std::lock_guard lock(all.mutex);
        if (const auto it = all.byThread.find(thread_); it != all.byThread.end() && it->second == queue_)
            all.byThread.erase(it);
    }
    OwnQueue(const OwnQueue&) = delete;
    OwnQueue& operator=(const OwnQueue&) = delete;

    Queue& queue() { return *queue_; }

private:
    DWORD thread_;
    std::shared_ptr<Queue> queue_;
};

Queue& ownQueue()
{
    thread_local OwnQueue own;
    return own.queue();
}

// Thread timer ids are unique in the process, so a thread timer's id never
// names another thread's timer. They start far above the small ids programs
// pass (SetTimer(NULL, 1, ...)), so that such an id makes a new timer rather
// than restarting one the program never named.
UINT_PTR newThreadTimerId()
{
    static std::mutex mutex;
    static UINT_PTR next = 0x7F00;
    std::lock_guard lock(mutex);
    return next++;
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

struct Filter {
    HWND hwnd;
    UINT min;
    UINT max;

    bool takes(HWND messageWindow, UINT message) const
    {
        if (hwnd == kThreadMessagesOnly) {
            if (messageWindow)
                return false;
        } else if (hwnd && messageWindow != hwnd) {
            return false;
        }
        return (min == 0 && max == 0) || (message >= min && message <= max);
    }
};

enum class Take { Remove, Leave };

MSG makeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return MSG{hwnd, message, wParam, lParam, tickCount(), POINT{0, 0}};
}

// The next message the filter takes, in the phone's order: posted messages,
// then the quit message, then a due timer. Called with the queue locked.
std::optional<MSG> nextMessage(Queue& queue, const Filter& filter, Take take)
{
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (it->message == WM_QUIT || filter.takes(it->hwnd, it->message)) {
            const MSG msg = *it;
            if (take == Take::Remove)
                queue.posted.erase(it);
            return msg;
        }
    }
    if (queue.quit) {
        if (take == Take::Remove)
            queue.quit = false;
        return makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
    }
    const Clock::time_point now = Clock::now();
    Timer* due = nullptr;
    for (Timer& timer : queue.timers) {
        if (timer.due <= now && filter.takes(timer.hwnd, WM_TIMER) && (!due || timer.due < due->due))
            due = &timer;
    }
    if (!due)
        return std::nullopt;
    const MSG msg = makeMessage(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc));
    // The next period counts from now: a loop that was busy gets one
    // WM_TIMER, not one for every period it missed.
    if (take == Take::Remove)
        due->due = now + due->period;
    return msg;
}

// When the earliest timer the filter takes is due, if there is one.
std::optional<Clock::time_point> nextTimerDue(const Queue& queue, const Filter& filter)
{
    std::optional<Clock::time_point> earliest;
    for (const Timer& timer : queue.timers) {
        if (filter.takes(timer.hwnd, WM_TIMER) && (!earliest || timer.due < *earliest))
            earliest = timer.due;
    }
    return earliest;
}

std::chrono::milliseconds timerPeriod(UINT elapse)
{
    return std::chrono::milliseconds(std::clamp(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
}

Timer* findTimer(Queue& queue, HWND hwnd, UINT_PTR id)
{
    for (Timer& timer : queue.timers) {
        if (timer.hwnd == hwnd && timer.id == id)
            return &timer;
    }
    return nullptr;
}

std::mutex dispatcherMutex;
WindowMessageDispatcher windowDispatcher = nullptr;  // set once by the window layer

}  // namespace

bool postQueuedMessage(DWORD threadId, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, Coalesce coalesce)
{
    // Posting is a message call of the poster too, which gives it its
    // queue: a thread can post to itself before it first waits.
    ownQueue();
    const std::shared_ptr<Queue> queue = queueOf(threadId);
    if (!queue)
        return false;
    {
        std::lock_guard lock(queue->mutex);
        if (coalesce == Coalesce::Yes) {
            const bool waiting = std::any_of(queue->posted.begin(), queue->posted.end(), [&](const MSG& m) {
                return m.hwnd == hwnd && m.message == message && m.wParam == wParam && m.lParam == lParam;
            });
            if (waiting)
                return true;
        }
        queue->posted.push_back(makeMessage(hwnd, message, wParam, lParam));
    }
    queue->arrived.notify_all();
    return true;
}

void ensureMessageQueue()
{
    ownQueue();
}

void setWindowMessageDispatcher(WindowMessageDispatcher dispatcher)
{
    std::lock_guard lock(dispatcherMutex);
    windowDispatcher = dispatcher;
}

}  // namespace handset

using namespace handset;

DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(::gettid());
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    Queue& queue = ownQueue();
    std::lock_guard lock(queue.mutex);
    const auto period = timerPeriod(uElapse);
    const Clock::time_point due = Clock::now() + period;
    if (Timer* existing = findTimer(queue, hWnd, nIDEvent)) {
        existing->period = period;
        existing->proc = lpTimerFunc;
        existing->due = due;
        return nIDEvent;
    }
    const UINT_PTR id = hWnd ? nIDEvent : newThreadTimerId();
    queue.timers.push_back(Timer{hWnd, id, period, lpTimerFunc, due});
    return id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    Queue& queue = ownQueue();
    std::lock_guard lock(queue.mutex);
    const auto it = std::find_if(queue.timers.begin(), queue.timers.end(),
                                 [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
    if (it == queue.timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    queue.timers.erase(it);
    return TRUE;
}

BOOL GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    Queue& queue = ownQueue();
    std::unique_lock lock(queue.mutex);
    for (;;) {
        if (const auto msg = nextMessage(queue, filter, Take::Remove)) {
            *lpMsg = *msg;
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        if (const auto due = nextTimerDue(queue, filter))
            queue.arrived.wait_until(lock, *due);
        else
            queue.arrived.wait(lock);
    }
}

BOOL PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    Queue& queue = ownQueue();
    std::lock_guard lock(queue.mutex);
    const auto msg = nextMessage(queue, filter, (wRemoveMsg & PM_REMOVE) ? Take::Remove : Take::Leave);
    if (!msg)
        return FALSE;
    *lpMsg = *msg;
    return TRUE;
}

LRESULT DispatchMessage(const MSG* lpMsg)
{
    if (!lpMsg)
        return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        TIMERPROC proc = nullptr;
        {
            Queue& queue = ownQueue();
            std::lock_guard lock(queue.mutex);
            const Timer* timer = findTimer(queue, lpMsg->hwnd, lpMsg->wParam);
            if (timer && reinterpret_cast<LPARAM>(timer->proc) == lpMsg->lParam)
                proc = timer->proc;
        }
        // The function runs without the queue's lock: it may set or kill
        // timers and post messages itself.
        if (proc)
            proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, tickCount());
        return 0;
    }
    if (!lpMsg->hwnd)
        return 0;
    WindowMessageDispatcher dispatcher;
    {
        std::lock_guard lock(dispatcherMutex);
        dispatcher = windowDispatcher;
    }
    return dispatcher ? dispatcher(*lpMsg) : 0;
}

void PostQuitMessage(int nExitCode)
{
    Queue& queue = ownQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.quit = true;
        queue.quitCode = nExitCode;
    }
    queue.arrived.notify_all();
}

BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!postQueuedMessage(idThread, nullptr, Msg, wParam, lParam)) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}
