// "Check Tones": every tone assignment whose file the device lacks or the
// media player cannot open, each with where it is assigned. Choosing one
// opens that assignment's settings dialog (the caller, category or contact
// dialog); the list is checked again when it closes.
#pragma once

#include <vector>

#include <handset/pimstore.h>
#include <handset/ui.h>

#include "tone_check.h"

namespace tonquil {

inline constexpr const char16_t* kEveryToneCanPlay = u"Every assigned tone can play.";
inline constexpr const char16_t* kChooseToMend = u"These tones cannot play. Choose one to change it:";

class CCheckTonesDialog : public CDialog {
public:
    // `contacts`: the logged-on contacts application (the application's slot by default).
    explicit CCheckTonesDialog(CWnd* pParent, IPOutlookApp2* contacts = nullptr);

    // The menu bar, then the check.
    BOOL OnInitDialog() override;
    // A tap or the action key on a row opens the row's settings dialog.
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // What the list shows, row for row.
    const std::vector<ToneProblem>& problems() const { return m_problems; }

private:
    // Checks every assignment again and shows what cannot play.
    void check();
    void openSettings(const ToneAssignment& where);
    CListCtrl* list() const;

    IPOutlookApp2* m_contacts;
    std::vector<ToneProblem> m_problems;
};

}  // namespace tonquil
