// The Profiles page in a sheet of its own, driven through its real widgets
// (offscreen): the check at construction, the first activation, and the two
// buttons that open the dialogs.
#include <QAbstractButton>
#include <QComboBox>
#include <QWidget>

#include <handset/ui.h>
#include <profiles/profile_fields.h>
#include <profiles/profiles_ids.h>
#include <profiles/profiles_page.h>

#include <test_device.h>

#include "form_steps.h"
#include "profiles_registry.h"

using namespace tonquil;
using namespace profiles_test;
using settings::ProfileRecord;
using settings::ScheduleEntry;

namespace {

using form_steps::click;
using form_steps::focusOf;


LOGFONTW fontOf(CWnd* page, unsigned id)
{
    LOGFONTW font{};
    CWnd* control = page->GetDlgItem(static_cast<int>(id));
    EXPECT_NE(nullptr, control);
    if (control && control->GetFont())
        control->GetFont()->GetLogFont(&font);
    return font;
}

// Shows `page` as the only tab of a sheet and runs `drive` on it.
void runPage(CProfilesPage& page, std::function<void(CPropertySheet*, CProfilesPage*)> drive)
{
    CPropertySheet sheet(u"Tonquil");
    sheet.AddPage(&page);
    handset::ui::whenNextFormShown([&](CWnd*) {
        drive(&sheet, &page);
        sheet.PressButton(PSBTN_CANCEL);
    });
    sheet.DoModal();
}

class ProfilesPageTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { handset::ui::ensureApplication(); }
};

TEST_F(ProfilesPageTest, ConstructionRestoresDefaultsWhenAProfileIsIncomplete)
{
    settings::resetProfiles();
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    storeSchedule({{420, 1}});
    ProfileRecord changed = settings::defaultProfile(0);
    changed.callVolume = 1;
    ASSERT_TRUE(settings::writeProfile(changed));

    { CProfilesPage intact; }  // every profile reads: nothing changes
    EXPECT_EQ(settings::PROFILE_SCHEDULE, settings::readCurrentProfile());
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 1}}), storedSchedule());

    deleteKey(kProfilesKey + u"\\2");
    CProfilesPage page;
    EXPECT_EQ(0, settings::readCurrentProfile());
    EXPECT_FALSE(queryRaw(kProfilesKey, u"schedule").found);
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(0, back));
    EXPECT_EQ(settings::defaultProfile(0), back);
    ASSERT_TRUE(settings::readProfile(2, back));
    EXPECT_EQ(settings::defaultProfile(2), back);
}

TEST_F(ProfilesPageTest, FirstActivationShowsNormalMenuAndBoldHeadings)
{
    settings::resetProfiles();
    settings::writeCurrentProfile(3);  // the profile in force does not matter here
    CProfilesPage page;
    runPage(page, [](CPropertySheet* sheet, CProfilesPage* page) {
        EXPECT_EQ(u" Profiles", page->caption());
        EXPECT_NE(nullptr, page->menuBar());
        auto* combo = static_cast<CComboBox*>(page->GetDlgItem(ids::IDC_PROFILE_COMBO));
        ASSERT_EQ(5, combo->GetCount());
        EXPECT_EQ(0, combo->GetCurSel());
        std::u16string text;
        combo->GetLBText(4, text);
        EXPECT_EQ(u"Custom", text);

        const LOGFONTW label = fontOf(page, ids::IDC_SELECT_PROFILE_LABEL);
        for (unsigned heading : {ids::IDC_PROFILE_SETTINGS_GROUP, ids::IDC_SCHEDULE_GROUP}) {
            SCOPED_TRACE(heading);
            const LOGFONTW bold = fontOf(page, heading);
            EXPECT_EQ(FW_BOLD, bold.lfWeight);
            EXPECT_EQ(ANTIALIASED_QUALITY, bold.lfQuality);
            EXPECT_EQ(label.lfHeight, bold.lfHeight);
            EXPECT_EQ(std::u16string(label.lfFaceName), std::u16string(bold.lfFaceName));
        }
        EXPECT_NE(FW_BOLD, label.lfWeight);
        EXPECT_EQ(sheet->GetTabControl()->widget(), focusOf(page));

        // A second activation adds nothing.
        page->OnSetActive();
        EXPECT_EQ(5, combo->GetCount());
    });
}

TEST_F(ProfilesPageTest, ChangeSettingsEditsTheChosenProfile)
{
    settings::resetProfiles();
    CProfilesPage page;
    runPage(page, [](CPropertySheet*, CProfilesPage* page) {
        auto* combo = qobject_cast<QComboBox*>(page->GetDlgItem(ids::IDC_PROFILE_COMBO)->widget());
        combo->setCurrentIndex(2);  // "Silent": only says what to edit
        EXPECT_EQ(0, settings::readCurrentProfile());

        std::u16string title;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            title = handset::ui::navigationBarText();
            static_cast<CComboBox*>(form->GetDlgItem(ids::IDC_CALL_VOLUME))->SetCurSel(4);
            ASSERT_TRUE(handset::ui::chooseMenuItem(handset::ui::menuBarOf(form->m_hWnd), IDOK));
        });
        click(page, ids::IDC_CHANGE_SETTINGS);
        EXPECT_EQ(u"Profile: Silent", title);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());
        EXPECT_EQ(page->GetDlgItem(ids::IDC_CHANGE_SETTINGS)->widget(), focusOf(page));
    });
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(2, back));
    EXPECT_EQ(4, back.callVolume);
    EXPECT_EQ(0, settings::readCurrentProfile());
}

TEST_F(ProfilesPageTest, ScheduleSettingsOpensTheScheduleEditor)
{
    settings::resetProfiles();
    CProfilesPage page;
    runPage(page, [](CPropertySheet*, CProfilesPage* page) {
        std::u16string title;
        handset::ui::whenNextFormShown([&](CWnd* form) {
            title = handset::ui::navigationBarText();
            ASSERT_TRUE(handset::ui::chooseMenuItem(handset::ui::menuBarOf(form->m_hWnd), IDOK));
        });
        click(page, ids::IDC_SCHEDULE_SETTINGS);
        EXPECT_EQ(u"Profile schedule", title);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());
        EXPECT_EQ(page->GetDlgItem(ids::IDC_SCHEDULE_SETTINGS)->widget(), focusOf(page));
    });
    // OK with nothing listed stores an empty schedule.
    EXPECT_TRUE(queryRaw(kProfilesKey, u"schedule").found);
    EXPECT_TRUE(storedSchedule().empty());
}

}  // namespace
