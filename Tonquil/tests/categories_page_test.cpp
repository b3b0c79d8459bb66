// The Categories page and the category settings dialog through their real
// widgets (offscreen), on categories made in the device's contacts volume:
// the rows in name order with their keys, fonts and marks, what the dialog
// shows, previews and stores, and a category read that fails on the way.
#include <QComboBox>
#include <QImage>
#include <QTest>
#include <QAbstractItemView>

#include <handset/contacts_admin.h>
#include <handset/faults.h>
#include <handset/pickers.h>
#include <categories/categories_ids.h>
#include <categories/categories_page.h>
#include <categories/set_category.h>

#include "profiles_message_capture.h"
#include "profiles_registry.h"
#include "tones_dialog.h"

using namespace tonquil;
using namespace tones_test;

namespace {

const std::u16string kCategoriesKey = u"Software\\Quorrel\\Tonquil\\Categories";
constexpr int kRow = 28;

constexpr int kRingTone = ids::kCategoryRingSlot.toneButton;
constexpr int kSmsTone = ids::kCategorySmsSlot.toneButton;

DWORD categoryKeyCount()
{
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kCategoriesKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKey(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr);
        RegCloseKey(key);
    }
    return count;
}

QComboBox* priorityList(CWnd* dialog)
{
    return qobject_cast<QComboBox*>(dialog->GetDlgItem(ids::IDC_CATEGORY_PRIORITY)->widget());
}

// Picks a priority as the user does.
void choosePriority(CWnd* dialog, int index)
{
    QComboBox* box = priorityList(dialog);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// The pixels of a row's text (left of the marks, above the grey line) that
// are not the background.
int inkOf(const QImage& image, int row)
{
    int ink = 0;
    for (int y = row * kRow; y < row * kRow + kRow - 2; ++y)
        for (int x = 0; x < 150; ++x)
            ink += image.pixelColor(x, y) != QColor(255, 255, 255);
    return ink;
}

bool hasBlack(const QImage& image, int row)
{
    for (int y = row * kRow; y < row * kRow + kRow - 2; ++y)
        for (int x = 0; x < 150; ++x)
            if (image.pixelColor(x, y) == QColor(0, 0, 0))
                return true;
    return false;
}

class CategoriesPageTest : public ToneDialogTest {
protected:
    void addCategories(std::initializer_list<const char16_t*> names)
    {
        for (const char16_t* name : names)
            ASSERT_EQ(ERROR_SUCCESS, handset::addCategory(name));
    }

    void runPage(const std::function<void(CCategoriesPage&)>& drive)
    {
        ToneDialogTest::runPage<CCategoriesPage>(drive);
    }

    // What the list's rows show, in the list's own coordinates.
    QImage rowsImage(CCategoriesPage& page)
    {
        return qobject_cast<QAbstractItemView*>(page.list().widget())->viewport()->grab().toImage();
    }

    void tapRow(CCategoriesPage& page, int row) { tones_test::tapRow(&page.list(), row); }
};

TEST_F(CategoriesPageTest, ListsTheCategoriesByNameAndGivesEachItsKeyOnce)
{
    addCategories({u"Work", u"Family", u"Business"});
    // The registry ignores case: "family" is Family's key and keeps its tone.
    settings::writeCategoryRingTone(u"family", kBell);
    runPage([](CCategoriesPage& page) {
        CCategoryList& list = page.list();
        ASSERT_EQ(3, list.GetItemCount());
        const std::u16string names[] = {u"Business", u"Family", u"Work"};
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(names[row], list.GetItemText(row, 0));
        EXPECT_EQ(u"", list.GetItemText(0, 1));
        EXPECT_EQ(0, list.GetSelectionMark());
        EXPECT_EQ(LVIS_SELECTED | LVIS_FOCUSED, list.GetItemState(0, LVIS_SELECTED | LVIS_FOCUSED));
        EXPECT_EQ(CCategoriesPage::kFullColumnWidth, list.GetColumnWidth(0));
    });
    EXPECT_EQ(3u, categoryKeyCount());
    settings::TonePath tone;
    settings::readCategoryRingTone(u"Family", tone);
    EXPECT_EQ(kBell, tone);
    const profiles_test::RawValue work = profiles_test::queryRaw(kCategoriesKey + u"\\Work", u"Sms Tone");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), work.type);
    EXPECT_EQ(2u, work.data.size());
    EXPECT_TRUE(profiles_test::queryRaw(kCategoriesKey + u"\\Business", u"Priority").found);
}

TEST_F(CategoriesPageTest, RowsShowPriorityAndMarksAsStoredAtEachRepaint)
{
    // Six rows do not fit: the text column leaves room for the scroll bar.
    addCategories({u"Alpha", u"Mute", u"Vip", u"Sms", u"Odd", u"Zulu"});
    runPage([this](CCategoriesPage& page) {
        CCategoryList& list = page.list();
        ASSERT_EQ(6, list.GetItemCount());
        EXPECT_EQ(CCategoriesPage::kScrollingColumnWidth, list.GetColumnWidth(0));
        // Rows: Alpha (selected), Mute, Odd, Sms, Vip, Zulu.
        const QImage plain = rowsImage(page);

        settings::writeCategoryPriority(u"Vip", settings::PriorityVip);
        settings::writeCategoryPriority(u"Mute", settings::PriorityMute);
        settings::writeCategoryPriority(u"Odd", 3);
        settings::writeCategorySmsTone(u"Sms", kBell);
        settings::writeCategoryRingTone(u"Vip", kBell);
        const QImage image = rowsImage(page);
        const QColor white(255, 255, 255);

        EXPECT_GT(inkOf(image, 4), inkOf(plain, 4));  // VIP: bold
        EXPECT_TRUE(hasBlack(plain, 1));
        EXPECT_FALSE(hasBlack(image, 1));  // Mute: grey text
        EXPECT_TRUE(marked(image, QRect(2, kRow + 2, 60, 20), white));
        EXPECT_EQ(inkOf(plain, 2), inkOf(image, 2));  // any other priority: as Normal
        EXPECT_TRUE(hasBlack(image, 2));

        // The envelope keeps the note's place free: (225 - 15 - 18, top + 2).
        const QRect note(225 - 18, 2, 18, 15), envelope(225 - 15 - 18, 2, 15, 10);
        EXPECT_TRUE(marked(image, envelope.translated(0, 3 * kRow), white));
        EXPECT_FALSE(marked(image, note.translated(0, 3 * kRow), white));
        EXPECT_TRUE(marked(image, note.translated(0, 4 * kRow), white));
        EXPECT_FALSE(marked(image, envelope.translated(0, 4 * kRow), white));
        EXPECT_EQ(colourOf(GetSysColor(COLOR_GRAYTEXT)), image.pixelColor(100, 4 * kRow - 1));
    });
}

TEST_F(CategoriesPageTest, TappingARowOpensItsDialogAndOkStoresAllThree)
{
    addCategories({u"Work", u"Family"});
    handset::scriptPickerAnswers({u"\\My Documents\\My Ringtones\\Chimes.mp3"});
    runPage([&](CCategoriesPage& page) {
        std::u16string name, priority;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            auto* dialog = dynamic_cast<SetCategory*>(form);
            ASSERT_NE(nullptr, dialog);
            name = dialog->categoryName();
            EXPECT_EQ(u"<select tone>", textOf(dialog, kRingTone));
            EXPECT_EQ(u"<select tone>", textOf(dialog, kSmsTone));
            priority = priorityList(dialog)->currentText().toStdU16String();
            EXPECT_EQ(3, priorityList(dialog)->count());
            click(dialog, kRingTone);
            EXPECT_EQ(u"Chimes.mp3", textOf(dialog, kRingTone));
            choosePriority(dialog, settings::PriorityVip);
            handset::ui::pressSoftKey(handset::ui::menuBarOf(dialog->m_hWnd), 0);  // OK
        });
        tapRow(page, 1);
        EXPECT_EQ(u"Work", name);
        EXPECT_EQ(u"Normal", priority);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());

        // The tapped row shows the new ring tone.
        const QColor highlight = colourOf(GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_TRUE(marked(rowsImage(page), QRect(238 - 18, kRow + 2, 18, 15), highlight));
    });
    settings::TonePath ring, sms;
    settings::readCategoryRingTone(u"Work", ring);
    settings::readCategorySmsTone(u"Work", sms);
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Chimes.mp3", ring);
    EXPECT_EQ(u"", sms);
    EXPECT_EQ(settings::PriorityVip, settings::readCategoryPriority(u"Work"));
}

TEST_F(CategoriesPageTest, NoMarkedRowOrAnOverlongNameOpensNoDialog)
{
    const std::u16string overlong(256, u'x');
    addCategories({u"Family", overlong.c_str()});
    profiles_test::MessageCapture boxes;
    runPage([&](CCategoriesPage& page) {
        CCategoryList& list = page.list();
        list.SetSelectionMark(-1);
        QWidget* window = list.widget()->window();
        EXPECT_NE(list.widget(), window->focusWidget());  // the tab control has it while the page shows
        NMHDR enter{list.m_hWnd, static_cast<UINT_PTR>(ids::IDC_CATEGORY_LIST), NM_RETURN};
        page.SendMessage(WM_NOTIFY, ids::IDC_CATEGORY_LIST, reinterpret_cast<LPARAM>(&enter));
        EXPECT_TRUE(boxes.texts().empty());
        EXPECT_EQ(list.widget(), window->focusWidget());

        // A name the services cannot read is refused, not cut to another name.
        ASSERT_EQ(overlong, list.GetItemText(1, 0));
        tapRow(page, 1);
        EXPECT_EQ(std::vector<std::u16string>{kCategoryNameTooLong}, boxes.texts());
    });
}

TEST_F(CategoriesPageTest, ARecordThatDoesNotReadIsLeftOutNeverListedTwice)
{
    EXPECT_TRUE(readCategories().empty());  // a new device has no contacts volume yet
    addCategories({u"Work", u"Family", u"Business"});
    using handset::faults::Store;
    handset::faults::failStep(Store::Contacts, 0, handset::faults::Fault::Busy);
    ASSERT_EQ(3u, readCategories().size());
    const int steps = handset::faults::stepsTaken(Store::Contacts);
    const std::vector<std::u16string> all{u"Work", u"Family", u"Business"};
    bool skippedOne = false;
    for (int step = 1; step <= steps; ++step) {
        handset::faults::failStep(Store::Contacts, step, handset::faults::Fault::IoError);
        std::vector<std::u16string> names;
        for (const CategoryEntry& entry : readCategories())
            names.push_back(entry.name);
        SCOPED_TRACE(step);
        // Record order, each name at most once.
        auto at = all.begin();
        for (const std::u16string& name : names) {
            at = std::find(at, all.end(), name);
            ASSERT_NE(all.end(), at);
            ++at;
        }
        skippedOne = skippedOne || names == std::vector<std::u16string>{u"Work", u"Business"};
    }
    handset::faults::failStep(Store::Contacts, 0, handset::faults::Fault::Busy);
    EXPECT_TRUE(skippedOne);
}

class SetCategoryTest : public ToneDialogTest {};

TEST_F(SetCategoryTest, ShowsTheStoredSettingsAndOkWritesThemAgain)
{
    settings::writeCategoryRingTone(u"Family", kBell);
    settings::writeCategorySmsTone(u"Family", u"");
    settings::writeCategoryPriority(u"Family", settings::PriorityMute);
    SetCategory dialog;
    dialog.setCategoryName(u"Family");
    runDialog<SetCategory>(dialog, [](SetCategory& d) {
        EXPECT_EQ(u"Bell.wav", textOf(&d, kRingTone));
        EXPECT_EQ(u"<select tone>", textOf(&d, kSmsTone));
        EXPECT_EQ(u"Mute", priorityList(&d)->currentText().toStdU16String());
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(profiles_test::queryRaw(kCategoriesKey + u"\\Family", u"Ring Tone").data.size(), (kBell.size() + 1) * 2);
    EXPECT_EQ(settings::PriorityMute, settings::readCategoryPriority(u"Family"));

    // A stored priority the list does not offer selects nothing and is kept.
    settings::writeCategoryPriority(u"Family", 7);
    SetCategory again;
    again.setCategoryName(u"Family");
    runDialog<SetCategory>(again, [](SetCategory& d) {
        EXPECT_EQ(-1, priorityList(&d)->currentIndex());
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(7, settings::readCategoryPriority(u"Family"));
}

TEST_F(SetCategoryTest, WithoutAKeyOkCreatesItAndRemoveShowsTheCapitalPlaceholder)
{
    SetCategory dialog;
    dialog.setCategoryName(u"Friends");
    runDialog<SetCategory>(dialog, [](SetCategory& d) {
        EXPECT_EQ(u"<select tone>", textOf(&d, kRingTone));
        EXPECT_EQ(u"Normal", priorityList(&d)->currentText().toStdU16String());
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), res::ID_REMOVE_RING_TONE);
        EXPECT_EQ(u"<Select tone>", textOf(&d, kRingTone));
        EXPECT_EQ(u"<select tone>", textOf(&d, kSmsTone));
        handset::ui::pressSoftKey(handset::ui::menuBarOf(d.m_hWnd), 0);
    });
    const std::u16string key = kCategoriesKey + u"\\Friends";
    for (const char16_t* value : {u"Ring Tone", u"Sms Tone"}) {
        const profiles_test::RawValue stored = profiles_test::queryRaw(key, value);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
        EXPECT_EQ(2u, stored.data.size());
    }
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), profiles_test::queryRaw(key, u"Priority").data);

    // Remove on a stored tone clears it at OK.
    settings::writeCategoryRingTone(u"Family", kBell);
    SetCategory family;
    family.setCategoryName(u"Family");
    runDialog<SetCategory>(family, [](SetCategory& d) {
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), res::ID_REMOVE_RING_TONE);
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(2u, profiles_test::queryRaw(kCategoriesKey + u"\\Family", u"Ring Tone").data.size());
}

TEST_F(SetCategoryTest, WithoutItsMenuBarTheTemplateStaysAsItIsAndOkStoresNothing)
{
    settings::writeCategoryRingTone(u"Family", kBell);
    settings::writeCategoryPriority(u"Family", settings::PriorityMute);
    WithoutMenuBar<SetCategory> dialog;
    dialog.setCategoryName(u"Family");
    runDialog<SetCategory>(dialog, [](SetCategory& d) {
        // Neither the Play and Stop bitmaps nor the priorities were loaded.
        EXPECT_EQ(nullptr, dynamic_cast<CBitmapButton*>(d.GetDlgItem(ids::kCategoryRingSlot.play)));
        EXPECT_EQ(0, priorityList(&d)->count());
        d.SendMessage(WM_COMMAND, IDOK, 0);
    });
    settings::TonePath ring;
    settings::readCategoryRingTone(u"Family", ring);
    EXPECT_EQ(kBell, ring);
    EXPECT_EQ(settings::PriorityMute, settings::readCategoryPriority(u"Family"));
}

TEST_F(SetCategoryTest, APriorityChangeStopsThePreviewAndCancelStoresNothing)
{
    settings::writeCategoryRingTone(u"Work", kLongTone);
    handset::scriptPickerAnswers({kShortTone});
    SetCategory dialog;
    dialog.setCategoryName(u"Work");
    runDialog<SetCategory>(dialog, [](SetCategory& d) {
        click(&d, ids::kCategoryRingSlot.play);
        EXPECT_TRUE(shown(&d, ids::kCategoryRingSlot.stop));
        ASSERT_TRUE(waitUntil([&] { return playState(d) == wmppsPlaying; }));
        choosePriority(&d, settings::PriorityMute);
        EXPECT_TRUE(shown(&d, ids::kCategoryRingSlot.play));
        EXPECT_FALSE(shown(&d, ids::kCategoryRingSlot.stop));
        EXPECT_NE(wmppsPlaying, playState(d));

        click(&d, kSmsTone);
        EXPECT_EQ(u"Short.wav", textOf(&d, kSmsTone));
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), IDCANCEL);
    });
    settings::TonePath ring, sms;
    settings::readCategoryRingTone(u"Work", ring);
    EXPECT_EQ(kLongTone, ring);
    EXPECT_FALSE(profiles_test::queryRaw(kCategoriesKey + u"\\Work", u"Sms Tone").found);
    EXPECT_FALSE(profiles_test::queryRaw(kCategoriesKey + u"\\Work", u"Priority").found);
}

}  // namespace
