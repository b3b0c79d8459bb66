// The profile settings dialog and the schedule settings dialog, driven
// through their real widgets (offscreen): what they show for the stored
// settings and what OK and Cancel leave in the registry.
#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QWidget>

#include <handset/ui.h>
#include <profiles/profile_settings_dialog.h>
#include <profiles/profiles_ids.h>
#include <profiles/schedule_settings_dialog.h>

#include <test_device.h>

#include "profiles_message_capture.h"
#include "form_steps.h"
#include "profiles_registry.h"

using namespace tonquil;
using namespace profiles_test;
using settings::ProfileRecord;
using settings::ScheduleEntry;

namespace {

using form_steps::click;
using form_steps::focusOf;

CComboBox* comboOf(CWnd* form, unsigned id)
{
    return static_cast<CComboBox*>(form->GetDlgItem(static_cast<int>(id)));
}

CListBox* listOf(CWnd* form)
{
    return static_cast<CListBox*>(form->GetDlgItem(ids::IDC_SCHEDULE_LIST));
}

std::vector<std::u16string> comboItems(CComboBox* combo)
{
    std::vector<std::u16string> items;
    for (int i = 0; i < combo->GetCount(); ++i) {
        std::u16string text;
        combo->GetLBText(i, text);
        items.push_back(text);
    }
    return items;
}

std::vector<std::u16string> listTexts(CWnd* form)
{
    std::vector<std::u16string> texts;
    CListBox* list = listOf(form);
    for (int i = 0; i < list->GetCount(); ++i) {
        std::u16string text;
        list->GetText(i, text);
        texts.push_back(text);
    }
    return texts;
}

// Picks item `index` of a drop-down list as the user would.
void choose(CWnd* form, unsigned id, int index)
{
    auto* box = qobject_cast<QComboBox*>(comboOf(form, id)->widget());
    ASSERT_NE(nullptr, box);
    box->setCurrentIndex(index);
}


void chooseMenu(CWnd* form, UINT command)
{
    ASSERT_TRUE(handset::ui::chooseMenuItem(handset::ui::menuBarOf(form->m_hWnd), command));
}

// Adds an entry through the picker, the combo box and the Add button.
void addEntry(CWnd* form, WORD hour, WORD minute, int profile)
{
    SYSTEMTIME time{2024, 3, 2, 5, hour, minute, 0, 0};
    auto* picker = static_cast<CDateTimeCtrl*>(form->GetDlgItem(ids::IDC_SCHEDULE_TIME));
    ASSERT_TRUE(picker->SetTime(&time));
    choose(form, ids::IDC_SCHEDULE_PROFILE, profile);
    click(form, ids::IDC_SCHEDULE_ADD);
}

// Runs the dialog with `drive` acting on it once it is shown.
template <typename Dialog>
INT_PTR runDialog(Dialog& dialog, std::function<void(CWnd*)> drive)
{
    handset::ui::whenNextFormShown(std::move(drive));
    return dialog.DoModal();
}

class ProfileDialogTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        settings::resetProfiles();
    }
};

TEST_F(ProfileDialogTest, ShowsTheStoredRecordAndStoresTheChoices)
{
    // Distinct values per field, flags beyond 1 and a repeat count of 3.
    const ProfileRecord stored{2, 0, 1, 2, 0, 7, 1, 3, 0};
    ASSERT_TRUE(settings::writeProfile(stored));

    CProfileSettingsDialog dialog(nullptr, 2);
    const INT_PTR result = runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(u"Profile: Silent", handset::ui::navigationBarText());
        EXPECT_EQ((std::vector<std::u16string>{u"Off", u"1", u"2", u"3", u"4", u"5"}),
                  comboItems(comboOf(form, 1014)));
        EXPECT_EQ((std::vector<std::u16string>{u"No", u"1 time", u"2 times", u"3 times", u"4 times", u"5 times"}),
                  comboItems(comboOf(form, 1018)));
        const std::pair<unsigned, int> shown[] = {{1014, 0}, {1015, 1}, {1016, 1}, {1017, 1},
                                                  {1018, 3}, {1019, 1}, {1020, 0}, {1021, 0}};
        for (auto [id, selection] : shown) {
            SCOPED_TRACE(id);
            EXPECT_EQ(selection, comboOf(form, id)->GetCurSel());
            EXPECT_EQ(id != ids::IDC_ANNOUNCE_CALL, comboOf(form, id)->IsWindowVisible() != FALSE);
        }
        // The hidden row's label is hidden with it.
        int labels = 0;
        for (QWidget* child : form->widget()->findChildren<QWidget*>()) {
            if (child->property("text").toString() == "Announce incoming call:") {
                ++labels;
                EXPECT_FALSE(child->isVisible());
            }
        }
        EXPECT_EQ(1, labels);
        EXPECT_EQ(comboOf(form, 1014)->widget(), focusOf(form));

        choose(form, 1014, 5);
        choose(form, 1015, 0);
        choose(form, 1017, 0);
        choose(form, 1018, 1);
        choose(form, 1019, 0);
        choose(form, 1020, 1);
        choose(form, 1021, 1);
        chooseMenu(form, IDOK);
    });
    EXPECT_EQ(IDOK, result);

    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(2, back));
    // The hidden announce value of 7 comes back as 1.
    EXPECT_EQ((ProfileRecord{2, 5, 0, 0, 1, 1, 0, 1, 1}), back);
    // Only the edited profile changed.
    ASSERT_TRUE(settings::readProfile(3, back));
    EXPECT_EQ(settings::defaultProfile(3), back);
}

TEST_F(ProfileDialogTest, HiddenAnnounceValueSurvivesOk)
{
    for (std::int32_t announce : {0, 1}) {
        SCOPED_TRACE(announce);
        ProfileRecord stored = settings::defaultProfile(4);
        stored.announceIncomingCall = announce;
        ASSERT_TRUE(settings::writeProfile(stored));
        CProfileSettingsDialog dialog(nullptr, 4);
        EXPECT_EQ(IDOK, runDialog(dialog, [](CWnd* form) { chooseMenu(form, IDOK); }));
        ProfileRecord back{};
        ASSERT_TRUE(settings::readProfile(4, back));
        EXPECT_EQ(stored, back);
    }
}

TEST_F(ProfileDialogTest, CancelAfterChangingEveryListWritesNothing)
{
    CProfileSettingsDialog dialog(nullptr, 0);
    const INT_PTR result = runDialog(dialog, [](CWnd* form) {
        for (const ProfileFieldRow& row : kProfileFieldRows) {
            CComboBox* box = comboOf(form, row.controlId);
            choose(form, row.controlId, box->GetCount() - 1 - box->GetCurSel());
        }
        chooseMenu(form, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(0, back));
    EXPECT_EQ(settings::defaultProfile(0), back);
}

TEST_F(ProfileDialogTest, OutOfRangeLevelsShowAtTheNearerEnd)
{
    ProfileRecord stored = settings::defaultProfile(1);
    stored.callVolume = 9;
    stored.vibrateBeforeRing = -3;
    ASSERT_TRUE(settings::writeProfile(stored));
    CProfileSettingsDialog dialog(nullptr, 1);
    runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(5, comboOf(form, 1014)->GetCurSel());
        EXPECT_EQ(0, comboOf(form, 1018)->GetCurSel());
        chooseMenu(form, IDOK);
    });
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(1, back));
    EXPECT_EQ(5, back.callVolume);
    EXPECT_EQ(0, back.vibrateBeforeRing);
}

TEST_F(ProfileDialogTest, VipDialogEditsTheVipRecord)
{
    CProfileSettingsDialog dialog(nullptr, kVipProfileIndex);
    runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(u"VIP settings", handset::ui::navigationBarText());
        EXPECT_EQ(5, comboOf(form, 1014)->GetCurSel());
        choose(form, 1014, 2);
        chooseMenu(form, IDOK);
    });
    ProfileRecord back{};
    ASSERT_TRUE(settings::readVipProfile(back));
    ProfileRecord expected = settings::defaultVipProfile();
    expected.callVolume = 2;
    expected.index = back.index;  // the VIP key holds no index
    EXPECT_EQ(expected, back);
    for (std::int32_t index = 0; index < settings::kProfileCount; ++index) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(settings::readProfile(index, back));
        EXPECT_EQ(settings::defaultProfile(index), back);
    }
}

TEST_F(ProfileDialogTest, MissingVipKeyShowsNothingAndWritesNothing)
{
    deleteKey(kProfilesKey + u"\\VIP");
    // No form may appear: none is expected, so nothing is queued to answer it.
    CProfileSettingsDialog dialog(nullptr, kVipProfileIndex);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_TRUE(handset::ui::modalForms().empty());
    ProfileRecord back{};
    EXPECT_FALSE(settings::readVipProfile(back));
    EXPECT_FALSE(queryRaw(kProfilesKey + u"\\VIP", u"callVolume").found);
}

// --- The schedule ---------------------------------------------------------------

class ScheduleDialogTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { handset::ui::ensureApplication(); }
};

TEST_F(ScheduleDialogTest, AddsInTimeOrderReplacesAndStoresOnOk)
{
    CScheduleSettingsDialog dialog(nullptr);
    const INT_PTR result = runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(u"Profile schedule", handset::ui::navigationBarText());
        EXPECT_EQ((std::vector<std::u16string>{u"Normal", u"Discreet", u"Silent", u"Loud", u"Custom"}),
                  comboItems(comboOf(form, ids::IDC_SCHEDULE_PROFILE)));
        EXPECT_EQ(0, comboOf(form, ids::IDC_SCHEDULE_PROFILE)->GetCurSel());
        EXPECT_EQ(comboOf(form, ids::IDC_SCHEDULE_PROFILE)->widget(), focusOf(form));
        auto* picker = qobject_cast<QDateTimeEdit*>(form->GetDlgItem(ids::IDC_SCHEDULE_TIME)->widget());
        ASSERT_NE(nullptr, picker);
        EXPECT_EQ(QString("HH:mm"), picker->displayFormat());
        EXPECT_EQ(0, listOf(form)->GetCount());
        for (unsigned heading : {ids::IDC_SCHEDULE_LIST_LABEL, ids::IDC_NEW_SCHEDULE_GROUP}) {
            SCOPED_TRACE(heading);
            LOGFONTW font{};
            ASSERT_TRUE(form->GetDlgItem(static_cast<int>(heading))->GetFont()->GetLogFont(&font));
            EXPECT_EQ(FW_BOLD, font.lfWeight);
            EXPECT_EQ(ANTIALIASED_QUALITY, font.lfQuality);
        }

        addEntry(form, 22, 0, 2);
        addEntry(form, 7, 0, 0);
        EXPECT_EQ((std::vector<std::u16string>{u"At 07:00 switch to Normal", u"At 22:00 switch to Silent"}),
                  listTexts(form));
        addEntry(form, 7, 0, 3);  // same time: replaces
        addEntry(form, 7, 0, 3);  // same time and profile: still one
        addEntry(form, 0, 0, 1);
        addEntry(form, 23, 59, 4);
        EXPECT_EQ((std::vector<std::u16string>{u"At 00:00 switch to Discreet", u"At 07:00 switch to Loud",
                                               u"At 22:00 switch to Silent", u"At 23:59 switch to Custom"}),
                  listTexts(form));
        EXPECT_EQ(packScheduleItem(420, 3), listOf(form)->GetItemData(1));
        chooseMenu(form, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ((std::vector<ScheduleEntry>{{0, 1}, {420, 3}, {1320, 2}, {1439, 4}}), storedSchedule());
}

TEST_F(ScheduleDialogTest, RemoveTakesTheSelectedItemOnly)
{
    storeSchedule({{1320, 2}, {420, 0}, {600, 1}});
    CScheduleSettingsDialog dialog(nullptr);
    runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ((std::vector<std::u16string>{u"At 07:00 switch to Normal", u"At 10:00 switch to Discreet",
                                               u"At 22:00 switch to Silent"}),
                  listTexts(form));
        listOf(form)->SetCurSel(-1);
        click(form, ids::IDC_SCHEDULE_REMOVE);
        EXPECT_EQ(3, listOf(form)->GetCount());
        listOf(form)->SetCurSel(1);
        click(form, ids::IDC_SCHEDULE_REMOVE);
        EXPECT_EQ((std::vector<std::u16string>{u"At 07:00 switch to Normal", u"At 22:00 switch to Silent"}),
                  listTexts(form));
        chooseMenu(form, IDOK);
    });
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 0}, {1320, 2}}), storedSchedule());
}

TEST_F(ScheduleDialogTest, CancelLeavesTheStoredScheduleAsItWas)
{
    // Stored out of order: Cancel must not even re-sort it.
    storeSchedule({{1320, 2}, {420, 0}});
    CScheduleSettingsDialog dialog(nullptr);
    const INT_PTR result = runDialog(dialog, [](CWnd* form) {
        addEntry(form, 12, 30, 3);
        listOf(form)->SetCurSel(0);
        click(form, ids::IDC_SCHEDULE_REMOVE);
        chooseMenu(form, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ((std::vector<ScheduleEntry>{{1320, 2}, {420, 0}}), storedSchedule());
}

TEST_F(ScheduleDialogTest, OkWithAnEmptyListStoresAnEmptySchedule)
{
    storeSchedule({{420, 0}});
    CScheduleSettingsDialog dialog(nullptr);
    runDialog(dialog, [](CWnd* form) {
        listOf(form)->SetCurSel(0);
        click(form, ids::IDC_SCHEDULE_REMOVE);
        chooseMenu(form, IDOK);
    });
    const RawValue raw = queryRaw(kProfilesKey, u"schedule");
    ASSERT_TRUE(raw.found);
    EXPECT_EQ(REG_BINARY, raw.type);
    EXPECT_EQ(0u, raw.data.size());
}

TEST_F(ScheduleDialogTest, FullScheduleRefusesANewTimeWithAMessage)
{
    storeSchedule(quarterHourEntries(25));
    MessageCapture messages;
    CScheduleSettingsDialog dialog(nullptr);
    runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(25, listOf(form)->GetCount());
        addEntry(form, 23, 59, 0);  // a 26th time
        EXPECT_EQ(25, listOf(form)->GetCount());
        addEntry(form, 0, 30, 4);  // a listed time is still replaced
        EXPECT_EQ(25, listOf(form)->GetCount());
        chooseMenu(form, IDOK);
    });
    ASSERT_EQ(1u, messages.texts().size());
    EXPECT_EQ(std::u16string(kScheduleFullMessage), messages.texts()[0]);
    std::vector<ScheduleEntry> expected = quarterHourEntries(25);
    expected[2] = {30, 4};
    EXPECT_EQ(expected, storedSchedule());
}

TEST_F(ScheduleDialogTest, OversizedScheduleOpensEmptyAndCancelKeepsIt)
{
    storeSchedule(quarterHourEntries(26));
    CScheduleSettingsDialog dialog(nullptr);
    runDialog(dialog, [](CWnd* form) {
        EXPECT_EQ(0, listOf(form)->GetCount());
        chooseMenu(form, IDCANCEL);
    });
    EXPECT_EQ(quarterHourEntries(26), storedSchedule());
}

}  // namespace
