// CBitmapButton: which of its four bitmaps it draws in each state, how it
// copies a bitmap into its rectangle, what a failed load leaves, and its
// answer to the background erase. What is drawn is compared with the
// picture files themselves, so a resource line that names the wrong file
// shows here too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QString>

#include <about/about_ids.h>
#include <about/bitmap_button.h>
#include <handset/ui.h>

#include <test_device.h>

#include "about_pictures.h"

using namespace tonquil::about;
using namespace tonquil::res;
using about_test::bitmapFile;

namespace {

constexpr COLORREF kSentinel = RGB(0x12, 0x34, 0x56);
constexpr UINT kNoSuchBitmap = 9999;

COLORREF colourOf(QRgb pixel)
{
    return RGB(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

// A memory context on a canvas filled with the sentinel colour, which is
// what a button's parent would have painted before it.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        old_ = SelectObject(dc_, bitmap_);
        HBRUSH brush = CreateSolidBrush(kSentinel);
        const RECT all{0, 0, width, height};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }

    // Draws the button as the framework asks for it, over `area`.
    void draw(CBitmapButton& button, UINT state, RECT area)
    {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = 1047;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hDC = dc_;
        item.rcItem = area;
        button.DrawItem(&item);
    }

    // True when the canvas shows `picture` with its top left corner at
    // (x, y); reports the first pixel that differs.
    ::testing::AssertionResult shows(const QImage& picture, int x = 0, int y = 0) const
    {
        if (picture.isNull())
            return ::testing::AssertionFailure() << "the picture file did not load";
        for (int py = 0; py < picture.height(); ++py)
            for (int px = 0; px < picture.width(); ++px)
                if (at(x + px, y + py) != colourOf(picture.pixel(px, py)))
                    return ::testing::AssertionFailure()
                           << "pixel (" << px << ", " << py << ") is 0x" << std::hex << at(x + px, y + py)
                           << ", the picture has 0x" << colourOf(picture.pixel(px, py));
        return ::testing::AssertionSuccess();
    }

    bool untouched() const
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (at(x, y) != kSentinel)
                    return false;
        return true;
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

struct StateCase {
    const char* name;
    UINT state;
    const char* file;  // null: nothing is drawn
};

void expectDrawn(CBitmapButton& button, const std::vector<StateCase>& cases)
{
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(27, 22);
        canvas.draw(button, c.state, RECT{0, 0, 27, 22});
        if (c.file)
            EXPECT_TRUE(canvas.shows(bitmapFile(c.file)));
        else
            EXPECT_TRUE(canvas.untouched());
    }
}

class BitmapButtonTest : public handset::testing::DeviceTest {
protected:
    static void SetUpTestSuite() { handset::ui::ensureApplication(); }
};

// Pressed beats focused beats disabled; each falls back to the normal
// bitmap when its own is not loaded.
TEST_F(BitmapButtonTest, PicksTheBitmapOfTheState)
{
    CBitmapButton button;
    // The stop picture stands for a disabled play key here, so that every
    // state has a picture of its own.
    ASSERT_EQ(TRUE, button.LoadBitmaps(IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_FOCUS, IDB_STOP));
    expectDrawn(button, {
                            {"normal", 0, "play.png"},
                            {"pressed", ODS_SELECTED, "play_pressed.png"},
                            {"focused", ODS_FOCUS, "play_focus.png"},
                            {"disabled", ODS_DISABLED, "stop.png"},
                            {"pressed with the focus", ODS_SELECTED | ODS_FOCUS, "play_pressed.png"},
                            {"focused and disabled", ODS_FOCUS | ODS_DISABLED, "play_focus.png"},
                            {"all at once", ODS_SELECTED | ODS_FOCUS | ODS_DISABLED, "play_pressed.png"},
                        });

    // The tone selectors' own choice: the disabled Play key is the normal one.
    ASSERT_EQ(TRUE, button.LoadBitmaps(IDB_STOP, IDB_STOP_PRESSED, IDB_STOP_FOCUS, IDB_STOP));
    expectDrawn(button, {
                            {"stop normal", 0, "stop.png"},
                            {"stop pressed", ODS_SELECTED, "stop_pressed.png"},
                            {"stop focused", ODS_FOCUS, "stop_focus.png"},
                            {"stop disabled", ODS_DISABLED, "stop.png"},
                        });
}

// One bitmap for all four states looks the same in all of them; a button
// with only its normal bitmap draws that in every state.
TEST_F(BitmapButtonTest, OneBitmapServesEveryState)
{
    const UINT states[] = {0, ODS_SELECTED, ODS_FOCUS, ODS_DISABLED, ODS_SELECTED | ODS_FOCUS | ODS_DISABLED};
    CBitmapButton link;
    ASSERT_EQ(TRUE, link.LoadBitmaps(IDB_LINK, IDB_LINK, IDB_LINK, IDB_LINK));
    CBitmapButton plain;
    ASSERT_EQ(TRUE, plain.LoadBitmaps(IDB_PLAY));
    for (const UINT state : states) {
        SCOPED_TRACE(state);
        Canvas linkCanvas(171, 19);
        linkCanvas.draw(link, state, RECT{0, 0, 171, 19});
        EXPECT_TRUE(linkCanvas.shows(bitmapFile("link.png")));
        Canvas plainCanvas(27, 22);
        plainCanvas.draw(plain, state, RECT{0, 0, 27, 22});
        EXPECT_TRUE(plainCanvas.shows(bitmapFile("play.png")));
    }
}

// A missing optional bitmap makes the load fail, but the others are still
// loaded and the button still draws; a missing normal bitmap stops the load
// at once and the button draws nothing.
TEST_F(BitmapButtonTest, FailedLoadsKeepWhatLoaded)
{
    CBitmapButton button;
    EXPECT_EQ(FALSE, button.LoadBitmaps(IDB_PLAY, kNoSuchBitmap, IDB_PLAY_FOCUS, 0));
    expectDrawn(button, {
                            {"normal", 0, "play.png"},
                            {"pressed, its bitmap missing", ODS_SELECTED, "play.png"},
                            {"focused, loaded after the missing one", ODS_FOCUS, "play_focus.png"},
                            {"disabled, none asked for", ODS_DISABLED, "play.png"},
                        });

    EXPECT_EQ(FALSE, button.LoadBitmaps(IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_FOCUS, kNoSuchBitmap));
    expectDrawn(button, {{"pressed, loaded before the missing one", ODS_SELECTED, "play_pressed.png"}});

    // The old bitmaps are gone with a new load, even one that fails.
    EXPECT_EQ(FALSE, button.LoadBitmaps(kNoSuchBitmap, IDB_PLAY_PRESSED, IDB_PLAY_FOCUS, IDB_PLAY));
    expectDrawn(button, {
                            {"no normal bitmap", 0, nullptr},
                            {"no normal bitmap, pressed", ODS_SELECTED, nullptr},
                            {"no normal bitmap, focused", ODS_FOCUS, nullptr},
                        });

    // A button never loaded draws nothing either.
    CBitmapButton fresh;
    expectDrawn(fresh, {{"never loaded", ODS_FOCUS, nullptr}});
}

// The bitmap is copied from its top left corner into the button's
// rectangle, wherever that is, and is never stretched: a smaller rectangle
// shows a part of it, a larger one what the copy makes of the missing
// source (black), and nothing outside the rectangle is touched.
TEST_F(BitmapButtonTest, CopiesUnstretchedIntoTheRectangle)
{
    const QImage play = bitmapFile("play.png");
    CBitmapButton button;
    ASSERT_EQ(TRUE, button.LoadBitmaps(IDB_PLAY));

    Canvas larger(50, 40);
    larger.draw(button, 0, RECT{5, 3, 45, 33});
    EXPECT_TRUE(larger.shows(play, 5, 3));
    EXPECT_EQ(RGB(0, 0, 0), larger.at(5 + 27, 3)) << "right of the bitmap";
    EXPECT_EQ(RGB(0, 0, 0), larger.at(44, 32)) << "below and right of the bitmap";
    EXPECT_EQ(kSentinel, larger.at(4, 3)) << "left of the rectangle";
    EXPECT_EQ(kSentinel, larger.at(45, 10)) << "right of the rectangle";
    EXPECT_EQ(kSentinel, larger.at(20, 33)) << "below the rectangle";

    Canvas smaller(27, 22);
    smaller.draw(button, 0, RECT{0, 0, 10, 8});
    EXPECT_TRUE(smaller.shows(play.copy(0, 0, 10, 8)));
    EXPECT_EQ(kSentinel, smaller.at(10, 0));
    EXPECT_EQ(kSentinel, smaller.at(0, 8));
}

// The button answers the erase itself, without painting, so that it does
// not flicker between the erase and its own drawing.
TEST_F(BitmapButtonTest, AnswersTheEraseWithoutPainting)
{
    Canvas canvas(27, 22);
    CBitmapButton button;
    ASSERT_EQ(TRUE, button.LoadBitmaps(IDB_PLAY));
    CDC* dc = CDC::FromHandle(canvas.dc());
    EXPECT_EQ(TRUE, button.OnEraseBkgnd(dc));
    EXPECT_TRUE(canvas.untouched());
}

}  // namespace
