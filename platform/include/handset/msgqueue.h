// The thread message queue: posted messages, thread timers, the quit
// message, and the loop functions that read and dispatch them.
//
// Every thread has its own queue, made the first time the thread calls one
// of the functions below, posting included (as the phone gives a thread its
// queue on its first call into the window manager). Messages posted to a thread reach only that
// thread's GetMessage. Windows and their procedures are not part of this
// queue; a window layer joins it through setWindowMessageDispatcher and
// postQueuedMessage.
//
// GetMessage takes messages in the phone's order: posted messages first, in
// the order they were posted; then the quit message once PostQuitMessage has
// been called; then WM_TIMER for a timer that is due. Timer messages are made
// when they are read, so a timer that was due several times gives one
// WM_TIMER, and a killed timer gives none.
#pragma once

#include <cstdint>

#include <handset/types.h>

// The calling conventions of the phone's callbacks and functions; this host
// has one convention, so they mark the code only.
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef WINAPI
#define WINAPI
#endif

struct HWND__;
using HWND = HWND__*;

using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // milliseconds since the system started, when the message was posted (or made)
    POINT pt;    // always {0, 0}: there is no cursor
};
using LPMSG = MSG*;
using PMSG = MSG*;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// PeekMessage options.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// The shortest and longest timer periods; shorter and longer ones are
// brought into this range, as on the phone.
constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;
constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// PostThreadMessage to a thread that has no message queue.
constexpr LONG ERROR_INVALID_THREAD_ID = 1444;

// The function a timer calls when its WM_TIMER is dispatched: the window
// (null for a thread timer), WM_TIMER, the timer's id and the current tick.
using TIMERPROC = void (*)(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);

// The calling thread's id; a thread's id never changes while it runs.
// (The kernel's; it stands here until the kernel's own header exists.)
DWORD GetCurrentThreadId();

// Starts or restarts a timer of the calling thread that fires every uElapse
// milliseconds (brought into USER_TIMER_MINIMUM..USER_TIMER_MAXIMUM).
// With hWnd null, nIDEvent names an existing thread timer to restart; any
// other value makes a new thread timer, whose new id is returned. With a
// window, the timer is the window's timer nIDEvent (made or restarted), and
// nIDEvent is returned. Its WM_TIMER carries the id in wParam and
// lpTimerFunc in lParam; a timer without a function leaves its WM_TIMER to
// the message loop itself.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);

// Stops a timer of the calling thread: the thread timer uIDEvent when hWnd
// is null, else the window's timer. No WM_TIMER of it is read afterwards.
// FALSE (ERROR_INVALID_PARAMETER) when there is no such timer.
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// Waits for the next message of the calling thread and removes it into
// *lpMsg. hWnd null takes every message; (HWND)-1 only thread messages
// (those without a window); another window only that window's messages.
// wMsgFilterMin and wMsgFilterMax limit the message numbers taken (both 0:
// all); WM_QUIT is always taken. Returns 0 for WM_QUIT (its exit code in
// wParam), -1 (ERROR_INVALID_PARAMETER) for a null lpMsg, else nonzero.
BOOL GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);

// As GetMessage, without waiting: FALSE when no message is there. With
// PM_REMOVE the message is taken from the queue; with PM_NOREMOVE it stays
// (a due timer stays due).
BOOL PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);

// Delivers a message read by GetMessage: a WM_TIMER with a timer function
// calls that function, provided it is the function of a live timer of this
// thread with that window and id (a WM_TIMER posted by anyone else cannot
// make the thread call an address of the sender's choosing); a window's
// message goes to the window layer; any other thread message has no one to
// go to and is dropped. Returns what the receiver returned, else 0.
LRESULT DispatchMessage(const MSG* lpMsg);

// Asks the calling thread's message loop to end: once the posted messages
// before it are read, GetMessage returns 0 with nExitCode in wParam.
void PostQuitMessage(int nExitCode);

// Posts a thread message (no window) to the queue of thread idThread.
// FALSE (ERROR_INVALID_THREAD_ID) when that thread has no queue (it ended,
// or never used one). A posted WM_QUIT ends that thread's loop as well.
BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);

namespace handset {

// Whether a message that is exactly like one already waiting in the queue
// is posted again (Coalesce::No) or dropped (Coalesce::Yes). Coalescing
// keeps a regular notice (a player's progress) from piling up in a queue
// whose thread does not read it for a while.
enum class Coalesce { No, Yes };

// Posts a message for a window or, with hwnd null, a thread message to the
// queue of thread `threadId`. False when that thread has no queue. This is
// PostThreadMessage for the platform's own senders, and what a window layer
// posts a window's messages with.
bool postQueuedMessage(DWORD threadId, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       Coalesce coalesce = Coalesce::No);

// Gives the calling thread its queue now, before its first message call,
// so that messages posted to it from then on are kept.
void ensureMessageQueue();

// The window layer's delivery of a window's message; DispatchMessage calls
// it for every message with a window that is not a WM_TIMER with a timer
// function. Without one, such messages are dropped.
using WindowMessageDispatcher = LRESULT (*)(const MSG& msg);
void setWindowMessageDispatcher(WindowMessageDispatcher dispatcher);

}  // namespace handset
