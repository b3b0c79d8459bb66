// The program's bitmaps as the code finds them: every id loads, at the size
// the screens are laid out for, and each list mark's mask covers exactly
// the pixels of its mark (a mask that misses a pixel leaves a white speck
// on a highlighted row; one that covers too much paints a white box).
#include <gtest/gtest.h>

#include <QImage>

#include <about/about_ids.h>
#include <handset/ui.h>

#include <test_device.h>

#include "about_pictures.h"

using namespace tonquil::about;
using namespace tonquil::res;
using about_test::bitmapFile;

namespace {

class ProgramBitmapsTest : public handset::testing::DeviceTest {
protected:
    static void SetUpTestSuite() { handset::ui::ensureApplication(); }
};

TEST_F(ProgramBitmapsTest, EveryBitmapLoadsAtItsSize)
{
    const struct {
        UINT id;
        LONG width;
        LONG height;
    } bitmaps[] = {
        {IDB_NOTE, 18, 15},        {IDB_NOTE_MASK, 18, 15},   {IDB_ENVELOPE, 15, 10},
        {IDB_ENVELOPE_MASK, 15, 10}, {IDB_PLAY, 27, 22},      {IDB_PLAY_FOCUS, 27, 22},
        {IDB_PLAY_PRESSED, 27, 22}, {IDB_STOP, 27, 22},       {IDB_STOP_FOCUS, 27, 22},
        {IDB_STOP_PRESSED, 27, 22}, {IDB_NO_PICTURE, 55, 55}, {IDB_LOGO, 55, 55},
        {IDB_LINK, 171, 19},
    };
    for (const auto& b : bitmaps) {
        SCOPED_TRACE(b.id);
        CBitmap bitmap;
        ASSERT_EQ(TRUE, bitmap.LoadBitmap(b.id));
        BITMAP info;
        info.bmWidth = info.bmHeight = 0xdead;
        EXPECT_NE(0, bitmap.GetBitmap(&info));
        EXPECT_EQ(b.width, info.bmWidth);
        EXPECT_EQ(b.height, info.bmHeight);
    }
}

TEST_F(ProgramBitmapsTest, MasksCoverExactlyTheirMarks)
{
    const struct {
        const char* mark;
        const char* mask;
    } pairs[] = {{"note.bmp", "note_mask.bmp"}, {"envelope.bmp", "envelope_mask.bmp"}};
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.mark);
        const QImage mark = bitmapFile(p.mark);
        const QImage mask = bitmapFile(p.mask);
        ASSERT_FALSE(mark.isNull());
        ASSERT_EQ(mark.size(), mask.size());
        int covered = 0;
        for (int y = 0; y < mark.height(); ++y)
            for (int x = 0; x < mark.width(); ++x) {
                const bool drawn = mark.pixel(x, y) != qRgb(255, 255, 255);
                const QRgb m = mask.pixel(x, y);
                ASSERT_TRUE(m == qRgb(0, 0, 0) || m == qRgb(255, 255, 255)) << "(" << x << ", " << y << ")";
                EXPECT_EQ(drawn, m == qRgb(0, 0, 0)) << "(" << x << ", " << y << ")";
                covered += drawn;
            }
        EXPECT_GT(covered, 20) << "the mark is more than a few dots";
    }
}

}  // namespace
