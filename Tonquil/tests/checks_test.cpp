// "Test a Call" and "Check Tones" through their real widgets (offscreen),
// over a real contacts volume: what the test shows for a typed number and a
// chosen contact, and which tones the check lists and where choosing one
// leads.
#include <fstream>

#include <QComboBox>
#include <QLineEdit>

#include <checks/check_tones_dialog.h>
#include <checks/checks_ids.h>
#include <checks/test_call_dialog.h>
#include <contacts/contact_settings_dialog.h>
#include <handset/cedb.h>
#include <handset/contacts_admin.h>
#include <settings/caller.h>

#include "tones_dialog.h"

using namespace tonquil;
using namespace tones_test;

namespace {

const std::u16string kGone = u"\\My Documents\\My Ringtones\\Gone.wav";
const std::u16string kNoSound = u"\\My Documents\\My Ringtones\\NoSound.wav";

class ChecksTest : public ContactsAppTest {
protected:
    static QStringList rows(CWnd& dialog)
    {
        QStringList texts;
        auto* list = static_cast<CListCtrl*>(dialog.GetDlgItem(ids::IDC_CHECK_LIST));
        for (int i = 0; i < list->GetItemCount(); ++i)
            texts << QString::fromStdU16String(list->GetItemText(i, 0));
        return texts;
    }
};

TEST_F(ChecksTest, TestACallShowsTheReasonsForATypedNumberAndForAChosenContact)
{
    add({.firstName = u"Anna", .lastName = u"Berg", .phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"+49 151 2345678"}},
         .ringTone = kShortTone, .priority = WORD{settings::PriorityVip}});
    add({.company = u"Acme", .phones = {{PIMPR_HOME_TELEPHONE_NUMBER, u"0301234567"}}});
    settings::writeClassRingTone(settings::UnknownCaller, kGone);
    settings::writeClassSmsTone(settings::UnknownCaller, kLongTone);
    settings::writeCurrentProfile(3);

    CTestCallDialog dialog(nullptr, app_);
    runDialog<CTestCallDialog>(dialog, [&](CTestCallDialog& d) {
        // Opened empty: no caller ID.
        EXPECT_EQ(u"no caller ID\ntone no tone from class NoCallerId\npriority Normal from default\n"
                  u"profile Loud from the selected profile",
                  textOf(&d, ids::IDC_TEST_CALL));

        auto* number = qobject_cast<QLineEdit*>(d.GetDlgItem(ids::IDC_TEST_NUMBER)->widget());
        QTest::keyClicks(number, "555 0100");
        EXPECT_EQ(u"no contact has this number\ntone " + kGone + u" (file missing) from class UnknownCaller\n"
                  u"priority Normal from default\nprofile Loud from the selected profile",
                  textOf(&d, ids::IDC_TEST_CALL));

        auto* contact = qobject_cast<QComboBox*>(d.GetDlgItem(ids::IDC_TEST_CONTACT)->widget());
        ASSERT_EQ(2, contact->count());
        EXPECT_EQ("Acme", contact->itemText(0));
        const int anna = contact->findText("Berg, Anna");
        contact->setCurrentIndex(anna);
        emit contact->activated(anna);
        EXPECT_EQ(u"+49 151 2345678", textOf(&d, ids::IDC_TEST_NUMBER));
        EXPECT_EQ(u"contact \"Anna Berg\"\ntone " + kShortTone + u" from the contact\n"
                  u"priority VIP from the contact\nprofile VIP from VIP priority",
                  textOf(&d, ids::IDC_TEST_CALL));
        EXPECT_EQ(u"contact \"Anna Berg\"\ntone " + kLongTone + u" from class UnknownCaller\n"
                  u"priority VIP from the contact\nprofile VIP from VIP priority",
                  textOf(&d, ids::IDC_TEST_SMS));

        // Typing over the contact's number leaves the contact unchosen.
        QTest::keyClicks(number, "9");
        EXPECT_EQ(-1, contact->currentIndex());
    });

}

TEST_F(ChecksTest, CheckTonesListsMissingAndUnplayableTonesAndChoosingOneOpensItsDialog)
{
    std::ofstream(handset::deviceFileSystem() / "My Documents" / "My Ringtones" / "NoSound.wav") << "not a sound";
    ASSERT_EQ(ERROR_SUCCESS, handset::addCategory(u"Family"));
    settings::writeClassRingTone(settings::NoCallerId, kGone);
    settings::writeClassSmsTone(settings::NoCallerId, kShortTone);
    settings::writeCategorySmsTone(u"Family", kNoSound);
    const CEOID anna = add({.firstName = u"Anna", .lastName = u"Berg", .ringTone = kShortTone, .smsTone = kGone});

    CCheckTonesDialog dialog(nullptr, app_);
    runDialog<CCheckTonesDialog>(dialog, [&](CCheckTonesDialog& d) {
        const QString folder = ", in \\My Documents\\My Ringtones";
        EXPECT_EQ(QStringList({"Gone.wav (file missing): No caller ID, ring tone" + folder,
                               "NoSound.wav (cannot be played): category \"Family\", SMS tone" + folder,
                               "Gone.wav (file missing): contact \"Berg, Anna\", SMS tone" + folder}),
                  rows(d));
        EXPECT_EQ(kChooseToMend, textOf(&d, ids::IDC_CHECK_HEADING));

        // The contact's row opens the contact's dialog; removing the tone
        // there takes the row off the list.
        ULONG opened = 0;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            auto* contact = dynamic_cast<CContactSettingsDialog*>(form);
            ASSERT_NE(nullptr, contact);
            opened = contact->heading() == u"Berg, Anna" ? anna : 0;
            handset::ui::chooseMenuItem(handset::ui::menuBarOf(contact->m_hWnd), res::ID_REMOVE_SMS_TONE);
            handset::ui::pressSoftKey(handset::ui::menuBarOf(contact->m_hWnd), 0);  // OK
        });
        CWnd* list = d.GetDlgItem(ids::IDC_CHECK_LIST);
        tones_test::tapRow(list, 2);
        EXPECT_EQ(anna, opened);
        EXPECT_EQ(2, rows(d).size());
        EXPECT_EQ(u"Check Tones", handset::ui::navigationBarText());

        // The class's row opens the caller dialog for that class.
        settings::CallerClass shown = settings::KnownCaller;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            auto* caller = dynamic_cast<CSetCaller*>(form);
            ASSERT_NE(nullptr, caller);
            shown = caller->callerClass();
            caller->EndDialog(IDCANCEL);
        });
        tones_test::tapRow(list, 0);
        EXPECT_EQ(settings::NoCallerId, shown);
    });

    settings::writeClassRingTone(settings::NoCallerId, u"");
    settings::writeCategorySmsTone(u"Family", u"");
    CCheckTonesDialog clean(nullptr, app_);
    runDialog<CCheckTonesDialog>(clean, [&](CCheckTonesDialog& d) {
        EXPECT_TRUE(rows(d).isEmpty());
        EXPECT_EQ(kEveryToneCanPlay, textOf(&d, ids::IDC_CHECK_HEADING));
    });
}

}  // namespace
