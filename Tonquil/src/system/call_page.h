// The System page, the main sheet's third tab: the three caller classes in
// an owner-drawn list; a tap (or Enter) on a row opens the caller settings
// dialog for it.
#pragma once

#include <app/placeholder_pages.h>

#include "system_list.h"

namespace tonquil {

class CCallPage : public CTitledPage {
public:
    CCallPage();

    // Makes the list the page's CSystemList.
    BOOL OnInitDialog() override;
    // The list's click and return open the dialog of the marked row.
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    CSystemList& list() { return m_list; }

protected:
    // The list's place, columns and rows, with the first row selected.
    void onFirstActivation() override;

private:
    void openCallerDialog();

    CSystemList m_list;
};

}  // namespace tonquil
