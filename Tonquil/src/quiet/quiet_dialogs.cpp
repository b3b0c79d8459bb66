#include "quiet_dialogs.h"

#include <algorithm>
#include <iterator>

#include <handset/clock.h>

#include <app/menu_bar.h>
#include <settings/quiet_hours.h>

#include "quiet_ids.h"

namespace tonquil {

namespace {

// Each list dropped down shows all its items.
constexpr int kDroppedHeight = 200;
constexpr int kSilent = 2;
constexpr int kOneHour = 2;  // the index of "1 hour" in the lengths

CComboBox* comboOf(CWnd& dialog, int id)
{
    return static_cast<CComboBox*>(dialog.GetDlgItem(id));
}

CButton* checkOf(CWnd& dialog, int id)
{
    return static_cast<CButton*>(dialog.GetDlgItem(id));
}

// Makes room for the dropped-down list and selects `index`.
void prepareCombo(CWnd& dialog, int id, int index)
{
    CComboBox* combo = comboOf(dialog, id);
    if (!combo)
        return;
    RECT place{};
    combo->GetWindowRect(&place);
    dialog.ScreenToClient(&place);
    combo->MoveWindow(place.left, place.top, place.right - place.left, kDroppedHeight);
    combo->SetCurSel(index);
}

// The selected index, or `fallback` when none is selected.
int selection(CWnd& dialog, int id, int fallback)
{
    CComboBox* combo = comboOf(dialog, id);
    const int chosen = combo ? combo->GetCurSel() : CB_ERR;
    return chosen == CB_ERR ? fallback : chosen;
}

template <class List>
int indexIn(const List& list, std::uint32_t value)
{
    const auto found = std::ranges::find(list, value);
    return found == list.end() ? 0 : static_cast<int>(std::distance(list.begin(), found));
}

}  // namespace

CTimedProfileDialog::CTimedProfileDialog(CWnd* pParent) : CDialog(res::IDD_TIMED_PROFILE, pParent)
{
}

BOOL CTimedProfileDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    createMenuBar(*this, res::IDR_MENU_OKCANCEL);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::optional<settings::TimedProfile> running = settings::timedProfileAt(now);
    prepareCombo(*this, ids::IDC_TIMED_PROFILE, running ? running->profile : kSilent);
    prepareCombo(*this, ids::IDC_TIMED_LENGTH, kOneHour);
    SHSetNavBarText(m_hWnd, u"Timed profile");
    if (CComboBox* first = comboOf(*this, ids::IDC_TIMED_PROFILE))
        first->SetFocus();
    return FALSE;  // the focus is set
}

void CTimedProfileDialog::OnOK()
{
    const int profile = selection(*this, ids::IDC_TIMED_PROFILE, kSilent);
    const int length = std::clamp(selection(*this, ids::IDC_TIMED_LENGTH, kOneHour), 0,
                                  static_cast<int>(settings::kTimedProfileLengths.size()) - 1);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // A write that fails has nobody to tell; the profile in force stays.
    (void)settings::startTimedProfile(profile, settings::kTimedProfileLengths[static_cast<std::size_t>(length)], now);
    CDialog::OnOK();
}

CRepeatedCallsDialog::CRepeatedCallsDialog(CWnd* pParent) : CDialog(res::IDD_REPEATED_CALLS, pParent)
{
}

BOOL CRepeatedCallsDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    createMenuBar(*this, res::IDR_MENU_OKCANCEL);
    const settings::RepeatedCallSettings stored = settings::readRepeatedCallSettings();
    if (CButton* enabled = checkOf(*this, ids::IDC_REPEAT_ENABLED))
        enabled->SetCheck(stored.enabled ? BST_CHECKED : BST_UNCHECKED);
    prepareCombo(*this, ids::IDC_REPEAT_WINDOW, indexIn(settings::kRepeatWindows, stored.windowMinutes));
    prepareCombo(*this, ids::IDC_REPEAT_PROFILE, stored.ringProfile);
    if (CButton* contactsOnly = checkOf(*this, ids::IDC_REPEAT_CONTACTS_ONLY))
        contactsOnly->SetCheck(stored.contactsOnly ? BST_CHECKED : BST_UNCHECKED);
    SHSetNavBarText(m_hWnd, u"Repeated calls");
    if (CButton* first = checkOf(*this, ids::IDC_REPEAT_ENABLED))
        first->SetFocus();
    return FALSE;  // the focus is set
}

void CRepeatedCallsDialog::OnOK()
{
    settings::RepeatedCallSettings chosen;
    const CButton* enabled = checkOf(*this, ids::IDC_REPEAT_ENABLED);
    chosen.enabled = enabled && enabled->GetCheck() == BST_CHECKED;
    const int window = std::clamp(selection(*this, ids::IDC_REPEAT_WINDOW, 0), 0,
                                  static_cast<int>(settings::kRepeatWindows.size()) - 1);
    chosen.windowMinutes = settings::kRepeatWindows[static_cast<std::size_t>(window)];
    chosen.ringProfile = selection(*this, ids::IDC_REPEAT_PROFILE, 0);
    const CButton* contactsOnly = checkOf(*this, ids::IDC_REPEAT_CONTACTS_ONLY);
    chosen.contactsOnly = contactsOnly && contactsOnly->GetCheck() == BST_CHECKED;
    (void)settings::writeRepeatedCallSettings(chosen);
    CDialog::OnOK();
}

}  // namespace tonquil
