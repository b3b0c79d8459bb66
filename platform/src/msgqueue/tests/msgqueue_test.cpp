// The thread message queue: order of messages, timers through dispatch,
// the quit message, posting between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <handset/errors.h>
#include <handset/msgqueue.h>

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kSecond = WM_APP + 2;

// What the timer functions saw, per thread.
thread_local std::vector<UINT_PTR> firedTimers;

void CALLBACK recordTimer(HWND hwnd, UINT msg, UINT_PTR id, DWORD)
{
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ(WM_TIMER, msg);
    firedTimers.push_back(id);
}

void CALLBACK quitFromTimer(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(42);
}

MSG sentinelMessage()
{
    MSG msg;
    msg.hwnd = reinterpret_cast<HWND>(0xdeadbeef);
    msg.message = 0xdeadbeef;
    msg.wParam = 0xdeadbeef;
    msg.lParam = 0xdeadbeef;
    return msg;
}

// Posted messages come in the order they were posted, before the quit
// message that was asked for in between; after WM_QUIT the loop is over.
TEST(MessageQueue, PostedMessagesComeBeforeTheQuitMessage)
{
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kFirst, 1, 10));
    PostQuitMessage(7);
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kSecond, 2, 20));

    MSG msg = sentinelMessage();
    EXPECT_EQ(TRUE, GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(kFirst, msg.message);
    EXPECT_EQ(nullptr, msg.hwnd);
    EXPECT_EQ(1u, msg.wParam);
    EXPECT_EQ(10, msg.lParam);
    EXPECT_EQ(TRUE, GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(kSecond, msg.message);

    msg = sentinelMessage();
    EXPECT_EQ(FALSE, GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(WM_QUIT, msg.message);
    EXPECT_EQ(7u, msg.wParam);
    EXPECT_EQ(FALSE, PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit message is read once";
}

TEST(MessageQueue, FiltersTakeOnlyTheirMessagesButAlwaysTheQuitMessage)
{
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kFirst, 0, 0));
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kSecond, 0, 0));

    MSG msg = sentinelMessage();
    EXPECT_EQ(TRUE, PeekMessage(&msg, nullptr, kSecond, kSecond, PM_NOREMOVE));
    EXPECT_EQ(kSecond, msg.message);
    EXPECT_EQ(TRUE, GetMessage(&msg, reinterpret_cast<HWND>(-1), kSecond, kSecond));
    EXPECT_EQ(kSecond, msg.message);
    // A window filter takes no thread message.
    EXPECT_EQ(FALSE, PeekMessage(&msg, reinterpret_cast<HWND>(0x1234), 0, 0, PM_NOREMOVE));

    PostQuitMessage(3);
    EXPECT_EQ(TRUE, GetMessage(&msg, nullptr, kFirst, kFirst));
    EXPECT_EQ(kFirst, msg.message);
    EXPECT_EQ(FALSE, GetMessage(&msg, nullptr, kSecond, kSecond));
    EXPECT_EQ(WM_QUIT, msg.message);
    EXPECT_EQ(3u, msg.wParam);
}

// A thread timer without a window runs its function when its WM_TIMER is
// dispatched, once for each message, and ends the loop from there.
TEST(MessageQueue, ThreadTimerRunsItsFunctionThroughDispatch)
{
    firedTimers.clear();
    const UINT_PTR ticking = SetTimer(nullptr, 1, 10, recordTimer);
    ASSERT_NE(0u, ticking);
    const UINT_PTR quitting = SetTimer(nullptr, 1, 200, quitFromTimer);
    ASSERT_NE(0u, quitting);
    EXPECT_NE(ticking, quitting) << "a new thread timer gets a new id whatever id is asked for";

    MSG msg;
    int timerMessages = 0;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        EXPECT_EQ(WM_TIMER, msg.message);
        EXPECT_EQ(nullptr, msg.hwnd);
        ++timerMessages;
        DispatchMessage(&msg);
    }
    EXPECT_EQ(WM_QUIT, msg.message);
    EXPECT_EQ(42u, msg.wParam);
    ASSERT_FALSE(firedTimers.empty());
    for (UINT_PTR id : firedTimers)
        EXPECT_EQ(ticking, id);
    EXPECT_EQ(timerMessages, static_cast<int>(firedTimers.size()) + 1);

    EXPECT_TRUE(KillTimer(nullptr, ticking));
    EXPECT_TRUE(KillTimer(nullptr, quitting));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(nullptr, ticking));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(MessageQueue, KilledTimerGivesNoMoreMessages)
{
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, recordTimer);
    ASSERT_NE(0u, timer);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    MSG msg;
    EXPECT_EQ(TRUE, PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "the timer is due";
    EXPECT_EQ(WM_TIMER, msg.message);
    EXPECT_EQ(timer, msg.wParam);
    ASSERT_TRUE(KillTimer(nullptr, timer));
    EXPECT_EQ(FALSE, PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

// Restarting a thread timer by its id keeps the id.
TEST(MessageQueue, SetTimerWithAnExistingIdRestartsThatTimer)
{
    const UINT_PTR timer = SetTimer(nullptr, 0, 100000, nullptr);
    ASSERT_NE(0u, timer);
    EXPECT_EQ(timer, SetTimer(nullptr, timer, 10, nullptr));
    MSG msg = sentinelMessage();
    ASSERT_EQ(TRUE, GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(WM_TIMER, msg.message);
    EXPECT_EQ(timer, msg.wParam);
    EXPECT_EQ(0, msg.lParam) << "a timer without a function leaves its message to the loop";
    EXPECT_TRUE(KillTimer(nullptr, timer));
}

// A WM_TIMER that names a function no timer of this thread has is not a
// call the thread makes.
TEST(MessageQueue, PostedTimerMessageCannotCallAnArbitraryFunction)
{
    firedTimers.clear();
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), WM_TIMER, 99, reinterpret_cast<LPARAM>(&recordTimer)));
    MSG msg;
    ASSERT_EQ(TRUE, GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(0, DispatchMessage(&msg));
    EXPECT_TRUE(firedTimers.empty());
}

TEST(MessageQueue, OtherThreadsPostIntoTheQueue)
{
    const DWORD self = GetCurrentThreadId();
    handset::ensureMessageQueue();
    std::thread poster([self] {
        for (int i = 0; i < 100; ++i)
            EXPECT_TRUE(PostThreadMessage(self, kFirst, static_cast<WPARAM>(i), 0));
        EXPECT_TRUE(PostThreadMessage(self, WM_QUIT, 5, 0));
    });
    MSG msg;
    int expected = 0;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        EXPECT_EQ(kFirst, msg.message);
        EXPECT_EQ(static_cast<WPARAM>(expected), msg.wParam);
        ++expected;
    }
    poster.join();
    EXPECT_EQ(100, expected);
    EXPECT_EQ(5u, msg.wParam);
}

TEST(MessageQueue, PostingToAThreadWithoutAQueueFails)
{
    std::atomic<DWORD> ended{0};
    std::thread([&] { ended = GetCurrentThreadId(); }).join();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostThreadMessage(ended, kFirst, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());

    // A thread whose queue existed loses it when it ends.
    DWORD withQueue = 0;
    std::thread([&] {
        handset::ensureMessageQueue();
        withQueue = GetCurrentThreadId();
        EXPECT_TRUE(PostThreadMessage(withQueue, kFirst, 0, 0));
    }).join();
    EXPECT_FALSE(PostThreadMessage(withQueue, kFirst, 0, 0));
}

TEST(MessageQueue, CoalescedMessagesDoNotPileUp)
{
    const DWORD self = GetCurrentThreadId();
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(handset::postQueuedMessage(self, nullptr, kFirst, 1, 2, handset::Coalesce::Yes));
    EXPECT_TRUE(handset::postQueuedMessage(self, nullptr, kFirst, 1, 3, handset::Coalesce::Yes));
    MSG msg;
    int count = 0;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        ++count;
    EXPECT_EQ(2, count);
}

TEST(MessageQueue, NullMessagePointerIsRefused)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(-1, GetMessage(nullptr, nullptr, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(FALSE, PeekMessage(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(0, DispatchMessage(nullptr));
}

}  // namespace
