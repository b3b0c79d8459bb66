#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/errors.h>
#include <handset/gdi.h>
#include <handset/wstring.h>

#include "test_device.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};
std::vector<Seen> gSeen;

LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    gSeen.push_back({hwnd, message, wParam});
    if (message == WM_USER + 1)
        return 0x1234;
    return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK replacementProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1)
        return 0x5678;
    return recordingProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK refusingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == WM_CREATE ? -1 : DefWindowProc(hwnd, message, wParam, lParam);
}

std::vector<UINT> messagesOf(HWND hwnd)
{
    std::vector<UINT> messages;
    for (const Seen& s : gSeen)
        if (s.hwnd == hwnd)
            messages.push_back(s.message);
    return messages;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSeen.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = u"Recorder";
        ASSERT_NE(0, RegisterClass(&wc));
    }
    void TearDown() override
    {
        for (HWND top : handset::topLevelWindows())
            DestroyWindow(top);
        handset::pumpMessages();
        UnregisterClass(u"Recorder", nullptr);
    }
};

TEST_F(WindowTest, ClassesAreRegisteredOnceByCaseInsensitiveName)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = u"RECORDER";
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, RegisterClass(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());

    HWND hwnd = CreateWindow(u"recorder", u"x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hwnd);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnregisterClass(u"Recorder", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClass(u"Recorder", nullptr));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnregisterClass(u"Recorder", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, CreateWindow(u"Recorder", u"x", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    wc.lpszClassName = u"Recorder";
    ASSERT_NE(0, RegisterClass(&wc));
}

TEST_F(WindowTest, ChildWindowGeometryFollowsItsParent)
{
    HWND top = CreateWindow(u"Recorder", u"Top", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindow(u"Recorder", u"Child", WS_CHILD | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 240, 0,
                              top, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(top, GetParent(child));
    RECT rc{-1, -1, -1, -1};
    ASSERT_TRUE(GetWindowRect(child, &rc));
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(240, rc.right);
    EXPECT_EQ(0, rc.bottom);

    ASSERT_TRUE(MoveWindow(child, 0, 46, 240, 20, FALSE));
    ASSERT_TRUE(GetWindowRect(child, &rc));
    EXPECT_EQ(46, rc.top);
    EXPECT_EQ(66, rc.bottom);
    ASSERT_TRUE(GetClientRect(child, &rc));
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(240, rc.right);
    EXPECT_EQ(20, rc.bottom);

    WCHAR title[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(3, GetWindowText(child, title, 4));
    EXPECT_EQ(std::u16string(u"Chi"), std::u16string(title));
}

TEST_F(WindowTest, MessagesReachTheProcedureInOrder)
{
    HWND top = CreateWindow(u"Recorder", u"Top", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, top);
    ASSERT_EQ(1u, messagesOf(top).size());
    EXPECT_EQ(WM_CREATE, messagesOf(top)[0]);

    EXPECT_EQ(0x1234, SendMessage(top, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostMessage(top, WM_USER + 2, 7, 0));
    EXPECT_TRUE(PostMessage(top, WM_USER + 3, 8, 0));
    gSeen.clear();
    EXPECT_EQ(2, handset::pumpMessages());
    ASSERT_EQ(2u, gSeen.size());
    EXPECT_EQ(WM_USER + 2, gSeen[0].message);
    EXPECT_EQ(7u, gSeen[0].wParam);
    EXPECT_EQ(WM_USER + 3, gSeen[1].message);

    // A replaced procedure handles what follows; the old one can still be called.
    const auto old = reinterpret_cast<WNDPROC>(SetWindowLong(top, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(replacementProc)));
    EXPECT_EQ(&recordingProc, old);
    EXPECT_EQ(0x5678, SendMessage(top, WM_USER + 1, 0, 0));
    EXPECT_EQ(0x1234, CallWindowProc(old, top, WM_USER + 1, 0, 0));
}

TEST_F(WindowTest, InvalidatingPostsOnePaintAndChildrenPaintAfterTheirParent)
{
    HWND top = CreateWindow(u"Recorder", u"Top", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindow(u"Recorder", u"Child", WS_CHILD | WS_VISIBLE, 0, 0, 240, 20, top, nullptr, nullptr,
                              nullptr);
    handset::pumpMessages();
    gSeen.clear();
    InvalidateRect(child, nullptr, FALSE);
    InvalidateRect(top, nullptr, TRUE);
    InvalidateRect(top, nullptr, TRUE);
    handset::pumpMessages();
    // The parent first (its erase, then its paint), then the child, once each.
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : gSeen)
        order.emplace_back(s.hwnd, s.message);
    const std::vector<std::pair<HWND, UINT>> expected = {
        {top, WM_PAINT}, {top, WM_ERASEBKGND}, {child, WM_PAINT}, {child, WM_ERASEBKGND}};
    EXPECT_EQ(expected, order);

    gSeen.clear();
    EXPECT_TRUE(UpdateWindow(top));
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(WindowTest, DestroyingAWindowDestroysItsChildrenAndItsHandle)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = refusingProc;
    wc.lpszClassName = u"Refuser";
    ASSERT_NE(0, RegisterClass(&wc));
    EXPECT_EQ(nullptr, CreateWindow(u"Refuser", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(handset::topLevelWindows().empty());
    EXPECT_TRUE(UnregisterClass(u"Refuser", nullptr));

    HWND top = CreateWindow(u"Recorder", u"Top", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindow(u"Recorder", u"Child", WS_CHILD, 0, 0, 240, 20, top, nullptr, nullptr, nullptr);
    PostMessage(child, WM_USER + 2, 0, 0);
    gSeen.clear();
    EXPECT_TRUE(DestroyWindow(top));
    ASSERT_EQ(2u, gSeen.size());
    EXPECT_EQ(top, gSeen[0].hwnd);
    EXPECT_EQ(WM_DESTROY, gSeen[0].message);
    EXPECT_EQ(child, gSeen[1].hwnd);
    EXPECT_EQ(WM_DESTROY, gSeen[1].message);
    EXPECT_FALSE(IsWindow(child));
    // The message posted before reaches no one.
    gSeen.clear();
    handset::pumpMessages();
    EXPECT_TRUE(gSeen.empty());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostMessage(child, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(0, SendMessage(child, WM_USER + 1, 0, 0));
}

}  // namespace
