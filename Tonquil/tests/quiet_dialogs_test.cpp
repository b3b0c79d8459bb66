// "Timed profile" and "Repeated calls" through their real widgets
// (offscreen), opened from the sheet's menus: what they show and what OK and
// Cancel leave in the registry.
#include <QAbstractButton>
#include <QComboBox>

#include <app/main_sheet.h>
#include <checks/call_test.h>
#include <handset/clock.h>
#include <handset/ui.h>
#include <quiet/quiet_ids.h>
#include <resource.h>
#include <settings/quiet_hours.h>

#include <test_device.h>

using namespace tonquil;

namespace {

std::vector<std::u16string> items(CWnd* form, int id)
{
    auto* combo = static_cast<CComboBox*>(form->GetDlgItem(id));
    std::vector<std::u16string> texts;
    for (int i = 0; combo && i < combo->GetCount(); ++i) {
        std::u16string text;
        combo->GetLBText(i, text);
        texts.push_back(text);
    }
    return texts;
}

int selected(CWnd* form, int id)
{
    return static_cast<CComboBox*>(form->GetDlgItem(id))->GetCurSel();
}

void choose(CWnd* form, int id, int index)
{
    qobject_cast<QComboBox*>(form->GetDlgItem(id)->widget())->setCurrentIndex(index);
}

QAbstractButton* box(CWnd* form, int id)
{
    return qobject_cast<QAbstractButton*>(form->GetDlgItem(id)->widget());
}

class QuietDialogsTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        ASSERT_TRUE(settings::resetProfiles());
    }

    // Opens the dialog of menu command `command` from the sheet's menu bar,
    // runs `drive` on it and ends it with `answer` (IDOK or IDCANCEL).
    void throughMenu(UINT command, const std::function<void(CWnd*)>& drive, UINT answer)
    {
        CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
        bool shown = false;
        handset::ui::whenNextFormShown([&](CWnd*) {
            HWND bar = handset::ui::menuBarOf(sheet.contactsPage().m_hWnd);
            handset::ui::whenNextFormShown([&](CWnd* form) {
                shown = true;
                drive(form);
                ASSERT_TRUE(handset::ui::chooseMenuItem(handset::ui::menuBarOf(form->m_hWnd), answer));
            });
            EXPECT_TRUE(handset::ui::chooseMenuItem(bar, command));
            sheet.PressButton(PSBTN_CANCEL);
        });
        sheet.DoModal();
        EXPECT_TRUE(shown);
    }
};

TEST_F(QuietDialogsTest, TimedProfileStartsTheChosenProfileForTheChosenTime)
{
    ASSERT_TRUE(handset::setClockTimeOfDay(13, 45));
    throughMenu(res::ID_TIMED_PROFILE, [](CWnd* form) {
        EXPECT_EQ(u"Timed profile", handset::ui::navigationBarText());
        EXPECT_EQ((std::vector<std::u16string>{u"Normal", u"Discreet", u"Silent", u"Loud", u"Custom"}),
                  items(form, ids::IDC_TIMED_PROFILE));
        EXPECT_EQ((std::vector<std::u16string>{u"15 minutes", u"30 minutes", u"1 hour", u"2 hours", u"4 hours",
                                               u"8 hours"}),
                  items(form, ids::IDC_TIMED_LENGTH));
        EXPECT_EQ(2, selected(form, ids::IDC_TIMED_PROFILE));  // Silent, for one hour
        EXPECT_EQ(2, selected(form, ids::IDC_TIMED_LENGTH));
        choose(form, ids::IDC_TIMED_PROFILE, 1);
        choose(form, ids::IDC_TIMED_LENGTH, 3);
    }, IDCANCEL);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_FALSE(settings::timedProfileAt(now));

    throughMenu(res::ID_TIMED_PROFILE, [](CWnd* form) {
        choose(form, ids::IDC_TIMED_PROFILE, 1);
        choose(form, ids::IDC_TIMED_LENGTH, 3);
    }, IDOK);
    GetLocalTime(&now);
    const std::optional<settings::TimedProfile> timed = settings::timedProfileAt(now);
    ASSERT_TRUE(timed);
    EXPECT_EQ(1, timed->profile);
    EXPECT_EQ(15, timed->until.wHour);
    EXPECT_EQ(45, timed->until.wMinute);

    // Test a Call shows it for a call and a text message alike.
    const CallTest shown = testCall(nullptr, u"5550100");
    EXPECT_EQ("profile Discreet from the timed profile (Discreet until 15:45)", shown.call.back());
    EXPECT_EQ(shown.call.back(), shown.sms.back());

    // Opened again while it runs, it shows the running profile.
    throughMenu(res::ID_TIMED_PROFILE, [](CWnd* form) { EXPECT_EQ(1, selected(form, ids::IDC_TIMED_PROFILE)); },
                IDCANCEL);
}

TEST_F(QuietDialogsTest, RepeatedCallsShowsAndStoresItsSettings)
{
    throughMenu(res::ID_REPEATED_CALLS, [](CWnd* form) {
        EXPECT_EQ(u"Repeated calls", handset::ui::navigationBarText());
        EXPECT_EQ((std::vector<std::u16string>{u"3 minutes", u"5 minutes", u"10 minutes", u"15 minutes"}),
                  items(form, ids::IDC_REPEAT_WINDOW));
        EXPECT_FALSE(box(form, ids::IDC_REPEAT_ENABLED)->isChecked());
        EXPECT_EQ(0, selected(form, ids::IDC_REPEAT_WINDOW));
        EXPECT_EQ(0, selected(form, ids::IDC_REPEAT_PROFILE));
        EXPECT_FALSE(box(form, ids::IDC_REPEAT_CONTACTS_ONLY)->isChecked());
        box(form, ids::IDC_REPEAT_ENABLED)->click();
        choose(form, ids::IDC_REPEAT_WINDOW, 3);
    }, IDCANCEL);
    EXPECT_EQ(settings::RepeatedCallSettings{}, settings::readRepeatedCallSettings());

    throughMenu(res::ID_REPEATED_CALLS, [](CWnd* form) {
        box(form, ids::IDC_REPEAT_ENABLED)->click();
        choose(form, ids::IDC_REPEAT_WINDOW, 2);
        choose(form, ids::IDC_REPEAT_PROFILE, 3);
        box(form, ids::IDC_REPEAT_CONTACTS_ONLY)->click();
    }, IDOK);
    EXPECT_EQ((settings::RepeatedCallSettings{true, 10, 3, true}), settings::readRepeatedCallSettings());

    throughMenu(res::ID_REPEATED_CALLS, [](CWnd* form) {
        EXPECT_TRUE(box(form, ids::IDC_REPEAT_ENABLED)->isChecked());
        EXPECT_EQ(2, selected(form, ids::IDC_REPEAT_WINDOW));
        EXPECT_EQ(3, selected(form, ids::IDC_REPEAT_PROFILE));
        EXPECT_TRUE(box(form, ids::IDC_REPEAT_CONTACTS_ONLY)->isChecked());
    }, IDCANCEL);
}

// One earlier unanswered call from the number, a minute ago.
class OneMissedCall : public settings::CallLog {
public:
    bool visitNewestFirst(const std::function<bool(const settings::RecentCall&)>& visit) const override
    {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        visit({u"5550100123", settings::fileTimeTicks(now) - settings::kTicksPerMinute, false});
        return true;
    }
};

TEST_F(QuietDialogsTest, TestACallShowsARepeatedCallAndTheMessageUnaffected)
{
    settings::writeCurrentProfile(2);
    ASSERT_TRUE(settings::writeRepeatedCallSettings({true, 5, 0, false}));
    const CallTest shown = testCall(nullptr, u"555 0100 123", OneMissedCall());
    EXPECT_EQ("profile Normal from a repeated call (2nd within 5 minutes)", shown.call.back());
    EXPECT_EQ("profile Silent from the selected profile", shown.sms.back());
}

}  // namespace
