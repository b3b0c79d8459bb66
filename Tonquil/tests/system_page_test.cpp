// The System page and the caller settings dialog through their real
// widgets (offscreen): the three rows, their marks, and what the dialog
// shows and stores.
#include <QImage>
#include <QTest>

#include <handset/pickers.h>
#include <system/call_page.h>
#include <system/system_ids.h>

#include "profiles_registry.h"
#include "tones_dialog.h"

using namespace tonquil;
using namespace tones_test;

namespace {

const std::u16string kUnknownKey = u"Software\\Quorrel\\Tonquil\\System\\UnknownCaller";
constexpr int kRow = 28;

class SystemPageTest : public ToneDialogTest {
protected:
    void runPage(const std::function<void(CCallPage&)>& drive) { ToneDialogTest::runPage<CCallPage>(drive); }
    QImage listImage(CCallPage& page) { return page.list().widget()->grab().toImage(); }
};

TEST_F(SystemPageTest, ListsTheThreeClassesWithTheFirstSelected)
{
    runPage([this](CCallPage& page) {
        CSystemList& list = page.list();
        ASSERT_EQ(3, list.GetItemCount());
        const std::u16string texts[] = {u"Known caller", u"Unknown caller", u"No caller ID "};
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(texts[row], list.GetItemText(row, 0));
            EXPECT_EQ(texts[row], list.GetItemText(row, 1));
            EXPECT_EQ(static_cast<DWORD_PTR>(row), list.GetItemData(row));
        }
        EXPECT_EQ(0, list.GetSelectionMark());
        EXPECT_EQ(LVIS_SELECTED | LVIS_FOCUSED, list.GetItemState(0, LVIS_SELECTED | LVIS_FOCUSED));
        EXPECT_EQ(238, list.GetColumnWidth(0));
        EXPECT_EQ(0, list.GetColumnWidth(1));
        RECT place{};
        list.GetWindowRect(&place);
        page.ScreenToClient(&place);
        EXPECT_EQ((RECT{0, 25, 240, 167}).top, place.top);
        EXPECT_EQ(240, place.right - place.left);
        EXPECT_EQ(142, place.bottom - place.top);
        listImage(page);
        RECT second{};
        list.GetItemRect(1, &second, LVIR_BOUNDS);
        EXPECT_EQ(kRow, second.top);
        EXPECT_EQ(2 * kRow, second.bottom);
        LOGFONTW title{};
        page.GetDlgItem(res::IDC_SYSTEM_TITLE)->GetFont()->GetLogFont(&title);
        EXPECT_EQ(FW_BOLD, title.lfWeight);
    });
}

TEST_F(SystemPageTest, RowsShowTheMarksOfTheTonesSet)
{
    settings::writeClassRingTone(settings::KnownCaller, kShortTone);
    settings::writeClassSmsTone(settings::KnownCaller, kShortTone);
    settings::writeClassSmsTone(settings::UnknownCaller, kShortTone);
    runPage([&](CCallPage& page) {
        const QImage image = listImage(page);
        const QColor white(255, 255, 255);
        const QColor highlight = colourOf(GetSysColor(COLOR_HIGHLIGHT));
        // The note (18 x 15) at the right edge of the 238-pixel row, the envelope (15 x 10) left of it.
        const QRect note(220, 2, 18, 15), envelope(205, 2, 15, 10);
        EXPECT_TRUE(marked(image, note, highlight));
        EXPECT_TRUE(marked(image, envelope, highlight));
        EXPECT_EQ(highlight, image.pixelColor(150, 20));  // the selected row's background
        EXPECT_FALSE(marked(image, note.translated(0, kRow), white));  // only an SMS tone: a gap
        EXPECT_TRUE(marked(image, envelope.translated(0, kRow), white));
        EXPECT_FALSE(marked(image, note.translated(0, 2 * kRow), white));
        EXPECT_FALSE(marked(image, envelope.translated(0, 2 * kRow), white));
        EXPECT_EQ(colourOf(GetSysColor(COLOR_GRAYTEXT)), image.pixelColor(100, 2 * kRow - 1));
        EXPECT_EQ(white, image.pixelColor(239, 2 * kRow - 1));  // beyond the columns
    });
}

TEST_F(SystemPageTest, TappingARowOpensItsDialogAndOkStoresWhatWasChosen)
{
    settings::writeClassSmsTone(settings::UnknownCaller, kShortTone);
    handset::scriptPickerAnswers({u"\\My Documents\\My Ringtones\\Chimes.mp3"});
    runPage([&](CCallPage& page) {
        CSystemList& list = page.list();
        QImage heading;
        std::u16string title;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            auto* dialog = dynamic_cast<CSetCaller*>(form);
            ASSERT_NE(nullptr, dialog);
            title = dialog->title();
            EXPECT_EQ(settings::UnknownCaller, dialog->callerClass());
            EXPECT_EQ(u"<Select tone>", textOf(dialog, ids::kCallerRingSlot.toneButton));
            EXPECT_EQ(u"Short.wav", textOf(dialog, ids::kCallerSmsSlot.toneButton));
            heading = form->widget()->grab().toImage();
            click(dialog, ids::kCallerRingSlot.toneButton);
            EXPECT_EQ(u"Chimes.mp3", textOf(dialog, ids::kCallerRingSlot.toneButton));
            handset::ui::chooseMenuItem(handset::ui::menuBarOf(dialog->m_hWnd), res::ID_REMOVE_SMS_TONE);
            handset::ui::pressSoftKey(handset::ui::menuBarOf(dialog->m_hWnd), 0);  // OK
        });
        tapRow(&list, 1);
        EXPECT_EQ(u"Unknown caller", title);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());

        // The heading: the title in bold dark blue above a black line.
        ASSERT_FALSE(heading.isNull());
        EXPECT_EQ(QColor(0, 0, 0), heading.pixelColor(120, CSetCaller::kHeadingHeight));
        EXPECT_TRUE(marked(heading, QRect(8, 0, 100, 15), QColor(255, 255, 255)));
        bool darkBlue = false;
        for (int y = 0; y < 15; ++y)
            for (int x = 8; x < 108; ++x)
                darkBlue = darkBlue || heading.pixelColor(x, y) == QColor(0, 0, 156);
        EXPECT_TRUE(darkBlue);

        settings::TonePath ring, sms;
        settings::readClassRingTone(settings::UnknownCaller, ring);
        EXPECT_EQ(u"\\My Documents\\My Ringtones\\Chimes.mp3", ring);
        const profiles_test::RawValue stored = profiles_test::queryRaw(kUnknownKey, u"Sms Tone");
        EXPECT_TRUE(stored.found);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
        EXPECT_EQ(2u, stored.data.size());  // an empty string with its terminator
        // The tapped row, now selected, shows the note and no longer the envelope.
        const QImage image = listImage(page);
        const QColor highlight = colourOf(GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_TRUE(marked(image, QRect(220, kRow + 2, 18, 15), highlight));
        EXPECT_FALSE(marked(image, QRect(205, kRow + 2, 15, 10), highlight));
    });
}

TEST_F(SystemPageTest, CancelStoresNothingAndReturnOpensTheMarkedRow)
{
    settings::writeClassRingTone(settings::NoCallerId, kShortTone);
    handset::scriptPickerAnswers({kLongTone});
    runPage([&](CCallPage& page) {
        CSystemList& list = page.list();
        list.SetSelectionMark(2);
        std::u16string title;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            auto* dialog = dynamic_cast<CSetCaller*>(form);
            ASSERT_NE(nullptr, dialog);
            title = dialog->title();
            click(dialog, ids::kCallerSmsSlot.toneButton);
            handset::ui::chooseMenuItem(handset::ui::menuBarOf(dialog->m_hWnd), res::ID_REMOVE_RING_TONE);
            handset::ui::chooseMenuItem(handset::ui::menuBarOf(dialog->m_hWnd), IDCANCEL);
        });
        QTest::keyClick(list.widget(), Qt::Key_Return);
        EXPECT_EQ(u"No caller ID ", title);
    });
    settings::TonePath ring, sms;
    settings::readClassRingTone(settings::NoCallerId, ring);
    settings::readClassSmsTone(settings::NoCallerId, sms);
    EXPECT_EQ(kShortTone, ring);
    EXPECT_EQ(u"", sms);
    EXPECT_FALSE(profiles_test::queryRaw(u"Software\\Quorrel\\Tonquil\\System\\NoCallerId", u"Sms Tone").found);
}

TEST_F(SystemPageTest, CancelStopsThePreviewAndWithoutItsMenuBarOkStoresNothing)
{
    settings::writeClassRingTone(settings::UnknownCaller, kLongTone);
    CSetCaller dialog(nullptr, settings::UnknownCaller, u"Unknown caller");
    runCaller(dialog, [](CSetCaller& d) {
        click(&d, ids::kCallerRingSlot.play);
        ASSERT_TRUE(waitUntil([&] { return playState(d) == wmppsPlaying; }));
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), IDCANCEL);
    });
    EXPECT_NE(wmppsPlaying, playState(dialog));

    WithoutMenuBar<CSetCaller> bare(nullptr, settings::UnknownCaller, u"Unknown caller");
    runDialog<CSetCaller>(bare, [](CSetCaller& d) {
        EXPECT_EQ(u"<Select tone>", textOf(&d, ids::kCallerRingSlot.toneButton));  // the template's text
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    settings::TonePath ring;
    settings::readClassRingTone(settings::UnknownCaller, ring);
    EXPECT_EQ(kLongTone, ring);
    EXPECT_FALSE(profiles_test::queryRaw(kUnknownKey, u"Sms Tone").found);
}

}  // namespace
