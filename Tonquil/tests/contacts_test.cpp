// The Contacts page and the contact settings dialog through their real
// widgets (offscreen), over a real contacts volume: the list's texts,
// search, column width and drawing, and what the dialog shows and stores.
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <handset/contacts_admin.h>
#include <handset/pickers.h>
#include <handset/registry.h>
#include <contacts/contact_settings_dialog.h>
#include <contacts/contacts_ids.h>
#include <contacts/contacts_page.h>
#include <system/call_page.h>

#include "profiles_message_capture.h"
#include "tones_dialog.h"

using namespace tonquil;
using namespace tones_test;

namespace {

const std::u16string kPicture = u"\\My Documents\\My Pictures\\Wide.jpg";

class ContactsTest : public ContactsAppTest {
protected:
    void SetUp() override
    {
        ContactsAppTest::SetUp();
        const auto pictures = handset::deviceFileSystem() / "My Documents" / "My Pictures";
        std::filesystem::create_directories(pictures);
        QImage wide(400, 300, QImage::Format_RGB32);
        wide.fill(Qt::red);
        ASSERT_TRUE(wide.save(QString::fromStdString((pictures / "Wide.jpg").string()), "JPG"));
    }
    void TearDown() override
    {
        handset::clearPickerAnswers();
        ContactsAppTest::TearDown();
    }

    handset::contacts::Contact stored(CEOID oid) { return handset::contacts::showContact(oid).contact; }

    void category(const std::u16string& name)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, (u"Software\\Quorrel\\Tonquil\\Categories\\" + name).c_str(),
                                                0, nullptr, 0, 0, nullptr, &key, nullptr));
        RegCloseKey(key);
    }

    // Runs the dialog with `drive` once it shows, then cancels it (a
    // dialog `drive` closed is gone by then); the dialog's result.
    INT_PTR runDialog(CContactSettingsDialog& dialog, const std::function<void(CContactSettingsDialog&)>& drive)
    {
        handset::ui::whenNextFormShown([&](CWnd*) {
            drive(dialog);
            dialog.PostMessage(WM_COMMAND, IDCANCEL);
        });
        return dialog.DoModal();
    }

    // Shows the page as the only tab of a sheet and runs `drive` on it.
    void runPage(const std::function<void(CContactsPage&)>& drive)
    {
        CContactsPage page(app_);
        CPropertySheet sheet(u"Tonquil");
        sheet.AddPage(&page);
        handset::ui::whenNextFormShown([&](CWnd*) {
            drive(page);
            sheet.PressButton(PSBTN_CANCEL);
        });
        sheet.DoModal();
    }

    static QStringList rows(CContactsList& list)
    {
        QStringList texts;
        for (int i = 0; i < list.GetItemCount(); ++i)
            texts << QString::fromStdU16String(list.GetItemText(i, 0));
        return texts;
    }

    static void search(CContactsPage& page, const QString& text)
    {
        auto* box = qobject_cast<QLineEdit*>(page.GetDlgItem(ids::IDC_CONTACTS_SEARCH)->widget());
        box->clear();
        QTest::keyClicks(box, text);
    }

    static QComboBox* combo(CWnd& dialog, int id) { return qobject_cast<QComboBox*>(dialog.GetDlgItem(id)->widget()); }
};

TEST(ContactThumbnail, FiftyFivePixelsHighWithTheWidthTruncatedInSinglePrecision)
{
    struct Case {
        UINT width, height, thumbnailWidth;
    };
    for (const Case& c : {Case{400, 300, 73}, Case{120, 160, 41}, Case{64, 64, 55}, Case{55, 55, 55},
                          Case{1000, 10, 5500}, Case{1, 1000, 0}}) {
        const ThumbnailSize size = thumbnailSize(c.width, c.height);
        EXPECT_EQ(c.thumbnailWidth, size.width) << c.width << " x " << c.height;
        EXPECT_EQ(55u, size.height);
    }
}

TEST(ContactTexts, EntryAndHeadingLeaveOutWhatIsEmpty)
{
    struct Case {
        std::u16string last, first, company, entry, heading;
    };
    for (const Case& c : {Case{u"Smith", u"John", u"Acme", u"Smith, John\nAcme", u"Smith, John"},
                          Case{u"", u"", u"Acme", u"Acme", u"Acme"}, Case{u"", u"John", u"", u"John", u"John"},
                          Case{u"Smith", u"", u"", u"Smith", u"Smith"},
                          Case{u"", u"John", u"Acme", u"John\nAcme", u"John"}}) {
        ContactEntry entry;
        entry.lastName = c.last;
        entry.firstName = c.first;
        entry.company = c.company;
        EXPECT_EQ(c.entry, contactEntryText(entry));
        EXPECT_EQ(c.heading, contactHeading(c.last, c.first, c.company));
    }
}

TEST_F(ContactsTest, ListsEveryContactAndTheSearchNarrowsByAnyNamePrefixIgnoringCase)
{
    add({.firstName = u"John", .lastName = u"Smith", .company = u"Acme"});
    add({.firstName = u"Smilla"});
    add({.company = u"SMART Ltd"});
    add({.firstName = u"Ann", .lastName = u"Other"});
    const std::u16string longName(70, u'L');
    const CEOID longOid = add({.lastName = longName});
    runPage([&](CContactsPage& page) {
        CContactsList& list = page.list();
        QStringList all = rows(list);
        EXPECT_TRUE(all.contains("Smith, John\nAcme"));
        EXPECT_TRUE(all.contains("SMART Ltd"));
        EXPECT_TRUE(all.contains("Smilla"));
        EXPECT_TRUE(all.contains(QString(63, u'L')));  // shortened for the list only
        EXPECT_EQ(5, all.size());
        EXPECT_EQ(238, list.GetColumnWidth(0));  // five rows fit

        search(page, "sm");
        EXPECT_EQ((QStringList{"SMART Ltd", "Smilla", "Smith, John\nAcme"}), rows(list));
        search(page, "mith");
        EXPECT_TRUE(rows(list).isEmpty());
        search(page, "");
        EXPECT_EQ(5, list.GetItemCount());
    });
    EXPECT_EQ(longName, stored(longOid).lastName);
}

TEST_F(ContactsTest, ColumnNarrowsForTheScrollBarWhenTheContactsDoNotFit)
{
    for (int i = 0; i < 7; ++i)
        add({.lastName = u"Person " + std::u16string(1, static_cast<char16_t>(u'A' + i))});
    runPage([](CContactsPage& page) {
        EXPECT_GT(page.list().GetItemCount(), page.list().GetCountPerPage());
        EXPECT_EQ(225, page.list().GetColumnWidth(0));
        search(page, "Person A");
        EXPECT_EQ(238, page.list().GetColumnWidth(0));
    });
}

TEST_F(ContactsTest, RowsAreBoldForVipGreyForMuteAndTheEnvelopeKeepsTheNotesPlace)
{
    // Capitals and descenders, so that the ink spans the font's whole height.
    add({.lastName = u"Ahjy", .priority = WORD{0}});
    add({.lastName = u"Ahjy", .smsTone = kShortTone, .priority = WORD{1}});
    add({.lastName = u"Ahjy", .priority = WORD{2}});
    runPage([](CContactsPage& page) {
        CContactsList& list = page.list();
        // Nothing selected, so each row shows its own colours.
        list.SetItemState(0, 0, LVIS_SELECTED);
        const QImage image = list.widget()->grab().toImage();
        const QColor grey(GetRValue(GetSysColor(COLOR_GRAYTEXT)), GetGValue(GetSysColor(COLOR_GRAYTEXT)),
                          GetBValue(GetSysColor(COLOR_GRAYTEXT)));
        auto inkOf = [&](int row) {
            int dark = 0, greyInk = 0;
            for (int y = row * 28 + 2; y < row * 28 + 24; ++y)
                for (int x = 2; x < 60; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    dark += c.lightness() < 80;
                    greyInk += c == grey;
                }
            return std::pair{dark, greyInk};
        };
        int normal = -1, vip = -1, mute = -1;
        for (int row = 0; row < 3; ++row) {
            const ContactEntry* entry = list.entryAt(row);
            ASSERT_TRUE(entry->detailsLoaded);
            (entry->priority == 0 ? normal : entry->priority == 1 ? vip : mute) = row;
        }
        EXPECT_GT(inkOf(vip).first, inkOf(normal).first);  // bold strokes are wider
        // The bold copy is of the font the text is drawn in, so a VIP row's text is as tall as its neighbours'.
        auto inkHeight = [&](int row) {
            int top = -1, bottom = -1;
            for (int y = row * 28; y < row * 28 + 26; ++y)
                for (int x = 2; x < 60; ++x)
                    if (image.pixelColor(x, y).lightness() < 80) {
                        top = top < 0 ? y : top;
                        bottom = y;
                    }
            return top < 0 ? 0 : bottom - top + 1;
        };
        RecordProperty("normal_text_px", inkHeight(normal));
        RecordProperty("vip_text_px", inkHeight(vip));
        EXPECT_GT(inkHeight(normal), 0);
        EXPECT_EQ(inkHeight(normal), inkHeight(vip));
        EXPECT_EQ(0, inkOf(mute).first);
        EXPECT_GT(inkOf(mute).second, 0);
        // The envelope ends 18 pixels left of the row's right edge; the note's place stays empty.
        RECT bounds{};
        list.GetItemRect(vip, &bounds, LVIR_BOUNDS);
        const int right = list.GetColumnWidth(0);
        auto anyInk = [&](int left, int width) {
            for (int y = vip * 28 + 2; y < vip * 28 + 17; ++y)
                for (int x = left; x < left + width; ++x)
                    if (image.pixelColor(x, y) != Qt::white)
                        return true;
            return false;
        };
        EXPECT_TRUE(anyInk(right - 18 - 15, 15));
        EXPECT_FALSE(anyInk(right - 18, 18));
    });
}

TEST_F(ContactsTest, DialogShowsTheContactAndOkStoresTonesPriorityFirstCategoryWithPictureUntouched)
{
    category(u"Family");
    category(u"Work");
    QFile file(QString::fromStdString(handset::mapDevicePath(kPicture)->string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const CEOID oid = add({.firstName = u"John", .lastName = u"Smith", .company = u"Acme",
                           .categories = u"Family,Work",
                           .picture = std::vector<BYTE>(bytes.begin(), bytes.end())});
    CContactSettingsDialog dialog(oid, nullptr, app_);
    const INT_PTR result = runDialog(dialog, [&](CContactSettingsDialog& d) {
        EXPECT_EQ(u"Smith, John", d.heading());
        EXPECT_EQ(kSelectTone, textOf(&d, 1012));
        EXPECT_EQ(kSelectTone, textOf(&d, 1034));
        EXPECT_EQ(QStringLiteral("Family"), combo(d, ids::IDC_CONTACT_CATEGORY)->currentText());
        EXPECT_EQ(QStringLiteral("<None>"), combo(d, ids::IDC_CONTACT_CATEGORY)->itemText(0));
        EXPECT_EQ(0, combo(d, ids::IDC_CONTACT_PRIORITY)->currentIndex());
        // The stored 400 x 300 picture as a 73 x 55 thumbnail at (165, 123).
        EXPECT_EQ(QRect(165, 123, 73, 55), d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget()->geometry());
        combo(d, ids::IDC_CONTACT_PRIORITY)->setCurrentIndex(1);
        d.SendMessage(WM_COMMAND, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1, dialog.priority());
    const handset::contacts::Contact contact = stored(oid);
    EXPECT_EQ(u"Family", contact.categories);  // Work is dropped
    EXPECT_EQ(u"", contact.ringTone);
    EXPECT_EQ(u"", contact.smsTone);
    EXPECT_EQ(std::optional<WORD>(1), contact.priority);
    EXPECT_EQ(static_cast<std::size_t>(bytes.size()), contact.pictureBytes);
}

TEST_F(ContactsTest, TwoWholeLongestTonePathsOpenAgainAndShowBothTones)
{
    const std::u16string folder = u"\\My Documents\\My Ringtones\\";
    const std::u16string ring = folder + std::u16string(255 - folder.size() - 4, u'r') + u".wav";
    const std::u16string sms = folder + std::u16string(255 - folder.size() - 4, u's') + u".wav";
    const CEOID oid = add({.lastName = u"Smith", .ringTone = ring, .smsTone = sms});
    CContactSettingsDialog dialog(oid, nullptr, app_);
    EXPECT_EQ(IDOK, runDialog(dialog, [&](CContactSettingsDialog& d) {
                  EXPECT_EQ(ring.substr(folder.size()), textOf(&d, 1012));
                  EXPECT_EQ(sms.substr(folder.size()), textOf(&d, 1034));
                  d.SendMessage(WM_COMMAND, IDOK);
              }));
    EXPECT_EQ(ring, stored(oid).ringTone);
    EXPECT_EQ(sms, stored(oid).smsTone);
}

TEST_F(ContactsTest, AContactThatCannotBeReadSaysSoAndEndsWithMinusOne)
{
    const CEOID oid = add({.lastName = u"Gone"});
    ASSERT_EQ(ERROR_SUCCESS, handset::contacts::deleteContact(oid));
    profiles_test::MessageCapture boxes;
    CContactSettingsDialog dialog(oid, nullptr, app_);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_EQ(std::vector<std::u16string>{kCannotLoadContact}, boxes.texts());
}

TEST_F(ContactsTest, PictureChangesReachTheContactOnlyAtOk)
{
    const std::vector<BYTE> old{'o', 'l', 'd'};
    const CEOID oid = add({.lastName = u"Smith", .picture = old});
    auto run = [&](const std::function<void(CContactSettingsDialog&)>& drive) {
        CContactSettingsDialog dialog(oid, nullptr, app_);
        runDialog(dialog, drive);
    };
    auto tapPicture = [](CContactSettingsDialog& d) {
        QTest::mouseClick(d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget(), Qt::LeftButton);
    };
    // An undecodable stored picture leaves the no-picture bitmap where it was.
    run([](CContactSettingsDialog& d) {
        EXPECT_EQ(QRect(180, 125, 55, 55), d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget()->geometry());
        d.SendMessage(WM_COMMAND, res::ID_REMOVE_PICTURE);
    });
    EXPECT_EQ(old.size(), stored(oid).pictureBytes);  // cancelled

    handset::scriptPickerAnswers({kPicture});
    run([&](CContactSettingsDialog& d) {
        tapPicture(d);
        EXPECT_EQ(kPicture, d.picturePath());
        EXPECT_EQ(QRect(165, 123, 73, 55), d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget()->geometry());
    });
    EXPECT_EQ(old, stored(oid).picture);  // cancelled

    handset::scriptPickerAnswers({kPicture});
    run([&](CContactSettingsDialog& d) {
        tapPicture(d);
        d.SendMessage(WM_COMMAND, IDOK);
    });
    QFile file(QString::fromStdString(handset::mapDevicePath(kPicture)->string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(std::vector<BYTE>(bytes.begin(), bytes.end()), stored(oid).picture);  // unchanged bytes

    run([](CContactSettingsDialog& d) {
        d.SendMessage(WM_COMMAND, res::ID_REMOVE_PICTURE);
        EXPECT_EQ(QRect(180, 125, 55, 55), d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget()->geometry());
        d.SendMessage(WM_COMMAND, IDOK);
    });
    EXPECT_EQ(0u, stored(oid).pictureBytes);
}

TEST_F(ContactsTest, UnknownPriorityAndCategoryAreHandledWithoutLoss)
{
    category(u"Family");
    category(u"1st");
    category(std::u16string(64, u'x'));
    const CEOID odd = add({.lastName = u"Odd", .categories = u"Club", .priority = WORD{7}});
    CContactSettingsDialog dialog(odd, nullptr, app_);
    runDialog(dialog, [](CContactSettingsDialog& d) {
        EXPECT_EQ(-1, combo(d, ids::IDC_CONTACT_PRIORITY)->currentIndex());
        QComboBox* categories = combo(d, ids::IDC_CONTACT_CATEGORY);
        EXPECT_EQ(QStringLiteral("<None>"), categories->currentText());  // no key for Club
        EXPECT_EQ(0, categories->currentIndex());
        // A name too long to store is refused where it is chosen.
        profiles_test::MessageCapture boxes;
        const int tooLong = categories->findText(QString(64, u'x'));
        categories->setCurrentIndex(tooLong);
        emit categories->activated(tooLong);
        EXPECT_EQ(std::vector<std::u16string>{kCategoryTooLong}, boxes.texts());
        EXPECT_EQ(0, categories->currentIndex());
        d.SendMessage(WM_COMMAND, IDOK);
    });
    EXPECT_EQ(std::optional<WORD>(7), stored(odd).priority);  // kept: nobody picked another
    EXPECT_EQ(u"", stored(odd).categories);
}

TEST_F(ContactsTest, OkUpdatesTheListsMarksAndCancelLeavesThem)
{
    add({.lastName = u"Smith", .ringTone = kShortTone, .smsTone = kShortTone});
    runPage([&](CContactsPage& page) {
        CContactsList& list = page.list();
        ContactEntry* entry = list.entryAt(0);
        list.widget()->grab();
        ASSERT_TRUE(entry->hasRingTone && entry->hasSmsTone);
        auto openAndThen = [&](UINT command) {
            handset::ui::whenNextFormShown([command](CWnd* form) {
                if (command != IDCANCEL) {
                    form->SendMessage(WM_COMMAND, res::ID_REMOVE_RING_TONE);
                    form->SendMessage(WM_COMMAND, res::ID_REMOVE_SMS_TONE);
                }
                form->PostMessage(WM_COMMAND, command);
            });
            NMHDR click{list.m_hWnd, static_cast<UINT_PTR>(ids::IDC_CONTACTS_LIST), NM_CLICK};
            page.SendMessage(WM_NOTIFY, ids::IDC_CONTACTS_LIST, reinterpret_cast<LPARAM>(&click));
        };
        openAndThen(IDCANCEL);
        EXPECT_TRUE(entry->hasRingTone && entry->hasSmsTone);
        openAndThen(IDOK);
        EXPECT_FALSE(entry->hasRingTone || entry->hasSmsTone);
    });
}

TEST_F(ContactsTest, ReturningToTheTabKeepsTheListAndItsFilterAndFocusesTheTabs)
{
    add({.firstName = u"Ida", .lastName = u"Zwick"});
    CContactsPage page(app_);
    CCallPage system;
    CPropertySheet sheet(u"Tonquil");
    sheet.AddPage(&page);
    sheet.AddPage(&system);
    handset::ui::whenNextFormShown([&](CWnd*) {
        search(page, "zw");
        ASSERT_EQ(QStringList{QStringLiteral("Zwick, Ida")}, rows(page.list()));
        sheet.SetActivePage(1);
        sheet.SetActivePage(0);
        EXPECT_EQ(QStringList{QStringLiteral("Zwick, Ida")}, rows(page.list()));
        EXPECT_EQ(u"zw", page.GetDlgItem(ids::IDC_CONTACTS_SEARCH)->GetWindowText());
        EXPECT_EQ(sheet.GetTabControl()->widget(), page.widget()->window()->focusWidget());
        sheet.PressButton(PSBTN_CANCEL);
    });
    sheet.DoModal();
}

TEST_F(ContactsTest, OkWithNothingChosenStoresNoTonesNormalAndNoCategory)
{
    category(u"Family");
    const CEOID oid = add({.lastName = u"Plain"});
    CContactSettingsDialog dialog(oid, nullptr, app_);
    EXPECT_EQ(IDOK, runDialog(dialog, [](CContactSettingsDialog& d) {
                  // Keys exist, but the contact has no category.
                  EXPECT_EQ(QStringLiteral("<None>"), combo(d, ids::IDC_CONTACT_CATEGORY)->currentText());
                  EXPECT_EQ(QStringLiteral("Normal"), combo(d, ids::IDC_CONTACT_PRIORITY)->currentText());
                  d.SendMessage(WM_COMMAND, IDOK);
              }));
    const handset::contacts::Contact contact = stored(oid);
    EXPECT_EQ(u"", contact.ringTone);
    EXPECT_EQ(u"", contact.smsTone);
    EXPECT_EQ(std::optional<WORD>(0), contact.priority);
    EXPECT_EQ(u"", contact.categories);
}

TEST_F(ContactsTest, CancelLeavesAPreviewPlayingUntilTheDialogGoes)
{
    const CEOID oid = add({.lastName = u"Smith", .ringTone = kLongTone});
    CContactSettingsDialog dialog(oid, nullptr, app_);
    runDialog(dialog, [](CContactSettingsDialog& d) {
        click(&d, ids::kContactRingSlot.play);
        ASSERT_TRUE(waitUntil([&] { return playState(d) == wmppsPlaying; }));
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(d.m_hWnd), IDCANCEL);
    });
    EXPECT_EQ(wmppsPlaying, playState(dialog));
}

TEST_F(ContactsTest, WithoutItsMenuBarTheDialogStoresNothingAtOk)
{
    category(u"Family");
    const CEOID oid = add({.lastName = u"Smith", .categories = u"Family", .ringTone = kShortTone,
                           .priority = WORD{1}});
    WithoutMenuBar<CContactSettingsDialog> dialog(oid, nullptr, app_);
    EXPECT_EQ(IDCANCEL, runDialog(dialog, [](CContactSettingsDialog& d) { d.SendMessage(WM_COMMAND, IDOK); }));
    const handset::contacts::Contact contact = stored(oid);
    EXPECT_EQ(kShortTone, contact.ringTone);
    EXPECT_EQ(u"Family", contact.categories);
    EXPECT_EQ(std::optional<WORD>(1), contact.priority);
}

TEST_F(ContactsTest, AWidePictureLeavesTheBoxesFreeAndOneTooLargeToStoreKeepsTheOld)
{
    const auto pictures = handset::deviceFileSystem() / "My Documents" / "My Pictures";
    QImage panorama(1600, 900, QImage::Format_RGB32);
    panorama.fill(Qt::blue);
    ASSERT_TRUE(panorama.save(QString::fromStdString((pictures / "Panorama.jpg").string()), "JPG"));
    // Larger than a contact's picture may be, and still a picture that shows.
    QImage huge(2400, 2400, QImage::Format_RGB888);
    huge.fill(Qt::green);
    ASSERT_TRUE(huge.save(QString::fromStdString((pictures / "Huge.bmp").string()), "BMP"));
    ASSERT_GT(std::filesystem::file_size(pictures / "Huge.bmp"), handset::contacts::kMaxPictureBytes);

    const std::vector<BYTE> old{'o', 'l', 'd'};
    const CEOID oid = add({.lastName = u"Smith", .picture = old});
    auto tapPicture = [](CContactSettingsDialog& d) {
        QTest::mouseClick(d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget(), Qt::LeftButton);
    };
    handset::scriptPickerAnswers({u"\\My Documents\\My Pictures\\Panorama.jpg"});
    CContactSettingsDialog wide(oid, nullptr, app_);
    runDialog(wide, [&](CContactSettingsDialog& d) {
        tapPicture(d);
        // 78 pixels right of the boxes, as high as 16:9 gives.
        EXPECT_EQ(QRect(160, 123, 78, 43), d.GetDlgItem(ids::IDC_CONTACT_PICTURE)->widget()->geometry());
        for (int box : {ids::IDC_CONTACT_PRIORITY, ids::IDC_CONTACT_CATEGORY})
            EXPECT_LE(d.GetDlgItem(box)->widget()->geometry().right(), 160);
    });

    handset::scriptPickerAnswers({u"\\My Documents\\My Pictures\\Huge.bmp"});
    CContactSettingsDialog large(oid, nullptr, app_);
    EXPECT_EQ(IDOK, runDialog(large, [&](CContactSettingsDialog& d) {
                  tapPicture(d);
                  EXPECT_EQ(u"\\My Documents\\My Pictures\\Huge.bmp", d.picturePath());
                  d.SendMessage(WM_COMMAND, IDOK);
              }));
    EXPECT_EQ(old, stored(oid).picture);
}

}  // namespace
