// The System page, the main sheet's third tab: the three caller classes in
// an owner-drawn list; a tap (or Enter) on a row opens the caller settings
// dialog for it.
#pragma once

#include <tones/list_page.h>

#include "system_list.h"

namespace tonquil {

class CCallPage : public CListPage {
public:
    CCallPage();

    CSystemList& list() { return m_list; }

protected:
    // The list's columns and rows, with the first row selected.
    void onFirstActivation() override;
    void openDialog(int marked) override;

private:
    CSystemList m_list;
};

}  // namespace tonquil
