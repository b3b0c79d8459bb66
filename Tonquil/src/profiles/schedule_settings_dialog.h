// The schedule settings dialog: the daily switching times, each with the
// profile that comes into force then, edited with a time picker, a profile
// list and Add and Remove; OK stores the schedule, Cancel forgets the edits.
#pragma once

#include <handset/ui.h>

#include "schedule_list.h"

namespace tonquil {

class CScheduleSettingsDialog : public CDialog {
public:
    explicit CScheduleSettingsDialog(CWnd* pParent);

    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Closes the dialog and stores the listed entries as the whole schedule
    // (nothing when the list was never filled).
    void OnOK() override;

private:
    void OnAdd();
    void OnRemove();
    // Shows the working list in the list box, in its order.
    void fillList();

    CComboBox* profileCombo() const;
    CListBox* list() const;

    ScheduleList m_schedule;  // what the list box shows, row for row
    bool m_listShown = false;  // the stored schedule is in the list box
    CFont m_boldFont;
};

}  // namespace tonquil
