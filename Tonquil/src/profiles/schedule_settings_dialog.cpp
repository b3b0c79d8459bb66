#include "schedule_settings_dialog.h"

#include <app/menu_bar.h>

#include "bold_heading.h"
#include "profile_fields.h"
#include "profiles_ids.h"
#include "schedule_full_notice.h"

namespace tonquil {

CScheduleSettingsDialog::CScheduleSettingsDialog(CWnd* pParent) : CDialog(res::IDD_SCHEDULE_SETTINGS, pParent) {}

CComboBox* CScheduleSettingsDialog::profileCombo() const
{
    return static_cast<CComboBox*>(GetDlgItem(ids::IDC_SCHEDULE_PROFILE));
}

CListBox* CScheduleSettingsDialog::list() const
{
    return static_cast<CListBox*>(GetDlgItem(ids::IDC_SCHEDULE_LIST));
}

BOOL CScheduleSettingsDialog::OnInitDialog()
{
    m_listShown = false;
    CDialog::OnInitDialog();

    if (!createMenuBar(*this, res::IDR_MENU_OKCANCEL))
        return TRUE;

    // The picker keeps the time it starts with, the device's current time.
    if (auto* picker = static_cast<CDateTimeCtrl*>(GetDlgItem(ids::IDC_SCHEDULE_TIME)))
        picker->SetFormat(u"HH:mm");

    setBoldHeadings(*this, ids::IDC_SCHEDULE_LIST_LABEL, {ids::IDC_SCHEDULE_LIST_LABEL, ids::IDC_NEW_SCHEDULE_GROUP},
                    m_boldFont);

    if (CComboBox* combo = profileCombo()) {
        for (const char16_t* name : kProfileNames)
            combo->AddString(name);
        combo->SetCurSel(0);
    }

    m_schedule = ScheduleList::load();
    fillList();
    m_listShown = true;

    SHSetNavBarText(m_hWnd, u"Profile schedule");

    if (CComboBox* combo = profileCombo())
        combo->SetFocus();
    return FALSE;  // the focus is set
}

void CScheduleSettingsDialog::fillList()
{
    CListBox* box = list();
    if (!box)
        return;
    box->ResetContent();
    for (const ScheduleItem& item : m_schedule.items()) {
        const int row = box->AddString(item.text.c_str());
        if (row >= 0)
            box->SetItemData(row, item.value);
    }
}

BOOL CScheduleSettingsDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case ids::IDC_SCHEDULE_ADD:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAdd();
        return TRUE;
    case ids::IDC_SCHEDULE_REMOVE:
        if (HIWORD(wParam) == BN_CLICKED)
            OnRemove();
        return TRUE;
    default:
        return CDialog::OnCommand(wParam, lParam);
    }
}

void CScheduleSettingsDialog::OnAdd()
{
    auto* picker = static_cast<CDateTimeCtrl*>(GetDlgItem(ids::IDC_SCHEDULE_TIME));
    CComboBox* combo = profileCombo();
    if (!picker || !combo)
        return;
    SYSTEMTIME time{};
    picker->GetTime(&time);
    const int profile = combo->GetCurSel();
    if (profile < 0)
        return;
    const std::uint32_t minutes = std::uint32_t{time.wHour} * 60 + time.wMinute;

    // A 26th time would not fit the stored schedule, which every reader
    // takes as no schedule at all; the user is told instead.
    if (m_schedule.add(minutes, static_cast<std::uint32_t>(profile)) == ScheduleList::AddResult::Full) {
        tellScheduleFull(m_hWnd);
        return;
    }
    fillList();
}

void CScheduleSettingsDialog::OnRemove()
{
    CListBox* box = list();
    if (!box)
        return;
    const int row = box->GetCurSel();
    if (row < 0 || !m_schedule.remove(row))
        return;
    box->DeleteString(static_cast<UINT>(row));
}

void CScheduleSettingsDialog::OnOK()
{
    // A dialog whose initialisation stopped before the list was filled never
    // showed the schedule; storing its empty list would erase it.
    if (!m_listShown) {
        CDialog::OnOK();
        return;
    }
    // The entries are taken from the list box itself, top to bottom, which
    // is the order they are shown and the order they are stored in.
    std::vector<settings::ScheduleEntry> entries;
    if (CListBox* box = list()) {
        const int count = box->GetCount();
        for (int row = 0; row < count && entries.size() < settings::kMaxScheduleEntries; ++row)
            entries.push_back(unpackScheduleItem(static_cast<std::uint32_t>(box->GetItemData(row))));
    }
    CDialog::OnOK();
    settings::writeSchedule(entries.data(), static_cast<std::uint32_t>(entries.size()));
}

}  // namespace tonquil
