#include <string>

#include <QColor>
#include <QImage>

#include <fstream>

#include <gtest/gtest.h>

#include <handset/log.h>
#include "run_program.h"

#include <handset/errors.h>
#include <handset/gdi.h>
#include <handset/loader.h>
#include <handset/registry.h>
#include <handset/resources.h>
#include <handset/shell.h>
#include <handset/wstring.h>

#include "test_device.h"

namespace {

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero)
{
    EXPECT_EQ(16, MulDiv(16, 96, 96));
    EXPECT_EQ(22, MulDiv(16, 131, 96));  // 21.83
    EXPECT_EQ(2, MulDiv(3, 96, 192));    // 1.5
    EXPECT_EQ(-2, MulDiv(-3, 96, 192));  // -1.5
    EXPECT_EQ(-1, MulDiv(-1, 96, 96));
    EXPECT_EQ(-1, MulDiv(5, 7, 0));
    EXPECT_EQ(2000000000, MulDiv(2000000000, 3, 3));  // the product is exact beyond 32 bits
}

TEST(Stock, SystemFontDescriptionAndContexts)
{
    LOGFONT lf;
    std::memset(&lf, 0xA5, sizeof lf);
    EXPECT_EQ(static_cast<int>(sizeof(LOGFONT)), GetObject(GetStockObject(SYSTEM_FONT), 0, nullptr));
    EXPECT_EQ(0, GetObject(GetStockObject(SYSTEM_FONT), sizeof(LOGFONT) - 1, &lf));
    ASSERT_EQ(static_cast<int>(sizeof(LOGFONT)), GetObject(GetStockObject(SYSTEM_FONT), sizeof lf, &lf));
    EXPECT_EQ(-12, lf.lfHeight);
    EXPECT_EQ(FW_NORMAL, lf.lfWeight);
    EXPECT_EQ(nullptr, GetStockObject(99));
    EXPECT_FALSE(DeleteObject(GetStockObject(WHITE_BRUSH)));

    HDC screen = GetDC(nullptr);
    ASSERT_NE(nullptr, screen);
    EXPECT_EQ(96, GetDeviceCaps(screen, LOGPIXELSX));
    EXPECT_EQ(96, GetDeviceCaps(screen, LOGPIXELSY));
    EXPECT_EQ(OPAQUE, SetBkMode(screen, TRANSPARENT));
    EXPECT_EQ(TRANSPARENT, SetBkMode(screen, OPAQUE));
    EXPECT_EQ(0, SetBkMode(screen, 7));
    EXPECT_EQ(RGB(0, 0, 0), SetTextColor(screen, RGB(1, 2, 3)));
    EXPECT_EQ(RGB(1, 2, 3), SetTextColor(screen, RGB(0, 0, 0)));
    HFONT font = CreateFontIndirect(&lf);
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), SelectObject(screen, font));
    EXPECT_EQ(font, SelectObject(screen, GetStockObject(SYSTEM_FONT)));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(1, ReleaseDC(nullptr, screen));
    EXPECT_EQ(CLR_INVALID, SetTextColor(screen, 0));
}

LRESULT CALLBACK paintingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProc(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT band{0, 0, 10, 5};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(hdc, &band, red);
    DeleteObject(red);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(0, 0, 255));
    RECT text{0, 6, 200, 30};
    DrawText(hdc, u"Hello", -1, &text, DT_LEFT | DT_TOP);
    DrawText(hdc, u"world!", 5, &text, DT_RIGHT);
    EndPaint(hwnd, &ps);
    return 0;
}

TEST(Painting, ChildDrawsOnItsParentsSurfaceAtItsPlace)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = paintingProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = u"Painter";
    ASSERT_NE(0, RegisterClass(&wc));
    WNDCLASSW plain{};
    plain.lpfnWndProc = DefWindowProc;
    plain.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    plain.lpszClassName = u"Plain";
    ASSERT_NE(0, RegisterClass(&plain));

    HWND top = CreateWindow(u"Plain", u"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindow(u"Painter", u"", WS_CHILD | WS_VISIBLE, 0, 40, 240, 30, top, nullptr, nullptr, nullptr);
    handset::pumpMessages();
    EXPECT_EQ(u"Hello world", handset::paintedText(child));

    const std::string file = ::testing::TempDir() + "/gdi_test.png";
    ASSERT_TRUE(handset::saveWindowSurface(top, file));
    QImage image(QString::fromStdString(file));
    ASSERT_EQ(240, image.width());
    ASSERT_EQ(320, image.height());
    EXPECT_EQ(QColor(0, 0, 0), image.pixelColor(5, 10));    // the parent's black background
    EXPECT_EQ(QColor(255, 0, 0), image.pixelColor(5, 42));  // the child's band, 40 pixels down
    EXPECT_EQ(QColor(255, 255, 255), image.pixelColor(15, 42));  // the child's white erase
    bool blue = false;
    for (int x = 0; x < 60; ++x)
        for (int y = 46; y < 70; ++y)
            blue = blue || (image.pixelColor(x, y).blue() > 200 && image.pixelColor(x, y).red() < 100);
    EXPECT_TRUE(blue);
    DestroyWindow(top);
    UnregisterClass(u"Painter", nullptr);
    UnregisterClass(u"Plain", nullptr);
}

// A memory context on a new bitmap filled with one colour.
struct Canvas {
    Canvas(int width, int height, COLORREF colour)
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, width, height);
        old = SelectObject(dc, bitmap);
        fill({0, 0, width, height}, colour);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void fill(RECT area, COLORREF colour)
    {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &area, brush);
        DeleteObject(brush);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

TEST(Drawing, MaskWithMergePaintThenMarkWithSrcAndShowOnlyTheMarksShape)
{
    // A 4 x 1 mark: red, green, then two white pixels (its background);
    // its mask is black where the mark is.
    Canvas mark(4, 1, RGB(255, 255, 255));
    mark.fill({0, 0, 1, 1}, RGB(255, 0, 0));
    mark.fill({1, 0, 2, 1}, RGB(0, 255, 0));
    Canvas mask(4, 1, RGB(255, 255, 255));
    mask.fill({0, 0, 2, 1}, RGB(0, 0, 0));
    for (COLORREF background : {RGB(255, 255, 255), GetSysColor(COLOR_HIGHLIGHT)}) {
        SCOPED_TRACE(background);
        Canvas row(6, 1, background);
        ASSERT_TRUE(BitBlt(row.dc, 1, 0, 4, 1, mask.dc, 0, 0, MERGEPAINT));
        ASSERT_TRUE(BitBlt(row.dc, 1, 0, 4, 1, mark.dc, 0, 0, SRCAND));
        EXPECT_EQ(background, GetPixel(row.dc, 0, 0));
        EXPECT_EQ(RGB(255, 0, 0), GetPixel(row.dc, 1, 0));
        EXPECT_EQ(RGB(0, 255, 0), GetPixel(row.dc, 2, 0));
        EXPECT_EQ(background, GetPixel(row.dc, 3, 0));
        EXPECT_EQ(background, GetPixel(row.dc, 4, 0));
    }
}

TEST(Drawing, SavedStatesLinesAndTextExtents)
{
    Canvas canvas(10, 4, RGB(255, 255, 255));
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    ASSERT_NE(nullptr, red);
    EXPECT_EQ(nullptr, CreatePen(42, 1, 0));
    const int level = SaveDC(canvas.dc);
    EXPECT_EQ(1, level);
    EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(canvas.dc, red));
    SetTextColor(canvas.dc, RGB(1, 2, 3));
    EXPECT_EQ(RGB(255, 255, 255), SetBkColor(canvas.dc, RGB(4, 5, 6)));
    EXPECT_TRUE(MoveToEx(canvas.dc, 0, 2, nullptr));
    EXPECT_TRUE(LineTo(canvas.dc, 8, 2));
    // The line stops one pixel before its end, which becomes the current position.
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(canvas.dc, 0, 2));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(canvas.dc, 7, 2));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc, 8, 2));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc, 3, 1));
    POINT at{};
    MoveToEx(canvas.dc, 0, 0, &at);
    EXPECT_EQ(8, at.x);

    EXPECT_TRUE(RestoreDC(canvas.dc, -1));
    EXPECT_EQ(GetStockObject(BLACK_PEN), GetCurrentObject(canvas.dc, OBJ_PEN));
    EXPECT_EQ(RGB(0, 0, 0), SetTextColor(canvas.dc, 0));
    EXPECT_EQ(RGB(255, 255, 255), SetBkColor(canvas.dc, RGB(255, 255, 255)));
    EXPECT_FALSE(RestoreDC(canvas.dc, -1));  // nothing saved any more
    EXPECT_TRUE(DeleteObject(red));

    SIZE normal{}, bold{}, empty{};
    ASSERT_TRUE(GetTextExtentPoint32(canvas.dc, u"Unknown caller", 14, &normal));
    LOGFONTW lf{};
    GetObject(GetCurrentObject(canvas.dc, OBJ_FONT), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    HFONT heavy = CreateFontIndirect(&lf);
    HGDIOBJ previous = SelectObject(canvas.dc, heavy);
    ASSERT_TRUE(GetTextExtentPoint32(canvas.dc, u"Unknown caller", 14, &bold));
    ASSERT_TRUE(GetTextExtentPoint32(canvas.dc, u"", 0, &empty));
    SelectObject(canvas.dc, previous);
    DeleteObject(heavy);
    EXPECT_GT(normal.cx, 40);
    EXPECT_GT(bold.cx, normal.cx);
    EXPECT_EQ(0, empty.cx);
    EXPECT_GT(normal.cy, 0);
}

BITMAPINFO dibInfo(LONG width, LONG height, WORD bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A bottom-up 24-bit section: what is drawn lands in the caller's memory
// with the bottom row first, and what the caller writes there is what
// GetPixel and BitBlt read.
TEST(DibSection, DrawingAndTheCallersMemoryAreOneBitmap)
{
    const BITMAPINFO info = dibInfo(5, 3, 24);
    void* raw = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(nullptr, dib);
    auto* bits = static_cast<BYTE*>(raw);
    constexpr int stride = 16;  // 15 bytes padded to a multiple of 4
    EXPECT_EQ(std::vector<BYTE>(stride * 3, 0), std::vector<BYTE>(bits, bits + stride * 3));  // black

    BITMAP bm{};
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObject(dib, sizeof bm, &bm));
    EXPECT_EQ(5, bm.bmWidth);
    EXPECT_EQ(3, bm.bmHeight);
    EXPECT_EQ(stride, bm.bmWidthBytes);
    EXPECT_EQ(24, bm.bmBitsPixel);
    EXPECT_EQ(raw, bm.bmBits);

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    const RECT topRow{0, 0, 5, 1};
    ASSERT_TRUE(FillRect(dc, &topRow, red));
    // The top row is the last in memory; each pixel blue, green, red.
    EXPECT_EQ((std::vector<BYTE>{0, 0, 255, 0, 0, 255}), std::vector<BYTE>(bits + 2 * stride, bits + 2 * stride + 6));
    EXPECT_EQ(0, bits[0]);

    bits[4 * 3] = 200;  // the bottom row's last pixel, blue
    EXPECT_EQ(RGB(0, 0, 200), GetPixel(dc, 4, 2));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 1, 0));

    HDC copy = CreateCompatibleDC(nullptr);
    HBITMAP plain = CreateCompatibleBitmap(nullptr, 5, 3);
    SelectObject(copy, plain);
    ASSERT_TRUE(BitBlt(copy, 0, 0, 5, 3, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(RGB(0, 0, 200), GetPixel(copy, 4, 2));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(copy, 0, 0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(copy, 0, 1));

    // A raster operation into the section: white AND the source keeps the source.
    ASSERT_TRUE(BitBlt(copy, 0, 0, 5, 3, nullptr, 0, 0, WHITENESS));
    ASSERT_TRUE(BitBlt(dc, 0, 0, 5, 3, copy, 0, 0, SRCAND));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 3, 0));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 255}), std::vector<BYTE>(bits + 2 * stride + 9, bits + 2 * stride + 12));

    EXPECT_FALSE(DeleteObject(dib));  // still selected
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(dib));
    DeleteObject(red);
    DeleteDC(dc);
    DeleteDC(copy);
    DeleteObject(plain);
}

TEST(DibSection, TopDownThirtyTwoBitsAndRefusals)
{
    BITMAPINFO info = dibInfo(2, -2, 32);
    void* raw = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(nullptr, dib);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, dib);
    HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
    const RECT first{0, 0, 1, 1};
    FillRect(dc, &first, green);
    const auto* bits = static_cast<const BYTE*>(raw);
    EXPECT_EQ((std::vector<BYTE>{0, 128, 0}), std::vector<BYTE>(bits, bits + 3));  // the top row first
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(dib));
    DeleteObject(green);

    for (const auto& [bad, why] : {std::pair{dibInfo(4, 4, 16), "16 bits"}, std::pair{dibInfo(0, 4, 24), "no width"},
                                   std::pair{dibInfo(4, 0, 24), "no height"}}) {
        raw = &info;
        EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &raw, nullptr, 0)) << why;
        EXPECT_EQ(nullptr, raw) << why;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, static_cast<LONG>(GetLastError())) << why;
    }
    info = dibInfo(4, 4, 24);
    info.bmiHeader.biCompression = 1;  // run-length encoded
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    info = dibInfo(40000, 40000, 24);
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, static_cast<LONG>(GetLastError()));
}

class ResourceTest : public handset::testing::DeviceTest {};

TEST_F(ResourceTest, StringsAndIconsByIdFromTheModule)
{
    const std::u16string path = handset::fromUtf8(WINDOW_TEST_MODULE);
    HMODULE module = LoadLibrary(path.c_str());
    ASSERT_NE(nullptr, module);
    WCHAR text[32];
    std::fill(std::begin(text), std::end(text), u'#');
    EXPECT_EQ(7, LoadString(module, 101, text, 32));
    EXPECT_EQ(u"Tonquil", std::u16string(text));
    EXPECT_EQ(3, LoadString(module, 101, text, 4));
    EXPECT_EQ(u"Ton", std::u16string(text));
    EXPECT_EQ(19, LoadString(module, 7, text, 32));
    EXPECT_EQ(u"Grüße aus dem Gerät", std::u16string(text));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, LoadString(module, 999, text, 32));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());

    struct Case {
        int asked, width;
    } cases[] = {{16, 16}, {32, 32}, {0, 32}, {20, 20}, {48, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        auto icon = static_cast<HICON>(LoadImage(module, MAKEINTRESOURCE(102), IMAGE_ICON, c.asked, c.asked, 0));
        ASSERT_NE(nullptr, icon);
        EXPECT_EQ(c.width, handset::iconSize(icon).width);
        EXPECT_EQ(c.width, handset::iconSize(icon).height);
        EXPECT_TRUE(DestroyIcon(icon));
    }
    EXPECT_EQ(nullptr, LoadImage(module, MAKEINTRESOURCE(103), IMAGE_ICON, 16, 16, 0));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ResourceTest, ShellFontSizeIsTheUsersChoiceWithinLimits)
{
    DWORD size = 0xDEADBEEF, needed = 0xDEADBEEF;
    ASSERT_EQ(0, SHGetUIMetrics(SHUIM_FONTSIZE_PIXEL, &size, sizeof size, &needed));
    EXPECT_EQ(12u, size);
    EXPECT_EQ(4u, needed);
    EXPECT_EQ(static_cast<HRESULT>(0x80070057), SHGetUIMetrics(SHUIM_FONTSIZE_PIXEL, &size, 3, &needed));
    EXPECT_EQ(static_cast<HRESULT>(0x80070057), SHGetUIMetrics(77, &size, sizeof size, &needed));

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\Shell", 0, nullptr, 0, 0, nullptr,
                                            &key, nullptr));
    const DWORD chosen[] = {14, 200};
    const DWORD expected[] = {14, 12};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(chosen[i]);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"FontSizePixel", 0, REG_DWORD,
                                               reinterpret_cast<const BYTE*>(&chosen[i]), 4));
        ASSERT_EQ(0, SHGetUIMetrics(SHUIM_FONTSIZE_PIXEL, &size, sizeof size, nullptr));
        EXPECT_EQ(expected[i], size);
    }
    RegCloseKey(key);
}

TEST_F(ResourceTest, ShellExecuteOpensProgramsOnly)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = u"Open";
    info.lpFile = u"\\Windows\\notes.txt";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_ASSOCIATION), GetLastError());
    info.lpFile = u"\\Program Files\\Missing\\missing.exe";
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, info.hProcess);
    EXPECT_GT(32u, static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(info.hInstApp)));
    info.cbSize = 3;
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ResourceTest, ShellExecuteOpensWebPagesWithoutABrowserAndFindsSystemPrograms)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = u"Open";
    info.lpFile = u"http://www.quorrel.example/update/?prod=TNQPPC&ver=4.0";
    info.nShow = SW_SHOW;
    ASSERT_TRUE(ShellExecuteEx(&info));
    EXPECT_EQ(33u, static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(info.hInstApp)));
    EXPECT_EQ(nullptr, info.hProcess);
    const std::string log = handset::testing::slurp(handset::deviceLogPath());
    EXPECT_NE(std::string::npos,
              log.find("shell: open \"http://www.quorrel.example/update/?prod=TNQPPC&ver=4.0\" in the browser"));

    // A help page that is not there is not opened.
    info.lpFile = u"\\Windows\\missing.htm";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    // A program named without its folder is the system's, in \Windows.
    const auto program = device_.root() / "fs" / "Windows" / "viewer.exe";
    std::filesystem::create_directories(program.parent_path());
    {
        std::ofstream script(program);
        script << "#!/bin/sh\nexit 0\n";
    }
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    info.lpFile = u"viewer.exe";
    info.lpParameters = u"tonquil.htm";
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    ASSERT_TRUE(ShellExecuteEx(&info));
    ASSERT_NE(nullptr, info.hProcess);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, INFINITE));
    CloseHandle(info.hProcess);
    EXPECT_NE(std::string::npos,
              handset::testing::slurp(handset::deviceLogPath()).find("exec: \"\\Windows\\viewer.exe\" tonquil.htm"));
}

}  // namespace
