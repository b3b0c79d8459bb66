// The Profiles page, the main sheet's fourth tab: picks the profile whose
// settings "Change Settings" edits, and opens the schedule editor.
#pragma once

#include <handset/ui.h>

namespace tonquil {

class CProfilesPage : public CPropertyPage {
public:
    // Makes sure all five profiles can be read, restoring every default
    // (profiles, VIP profile, selector, schedule) when one cannot.
    CProfilesPage();

    // The first time: the menu bar, the profile names and the bold headings.
    // Every time: the focus goes to the sheet's tabs. TRUE.
    BOOL OnSetActive() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The page's menu bar; null before the first activation or when it
    // could not be made.
    HWND menuBar() const { return m_menuBar; }

private:
    void OnChangeSettings();
    void OnScheduleSettings();

    bool m_firstActivation = true;
    HWND m_menuBar = nullptr;
    CFont m_boldFont;
};

}  // namespace tonquil
