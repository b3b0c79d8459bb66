// The main property sheet: the four pages as tabs, the commands of the menu
// bar every page shows, help, and the end on minimise.
#pragma once

#include <handset/ui.h>

#include <categories/categories_page.h>
#include <contacts/contacts_page.h>
#include <profiles/profiles_page.h>

#include <system/call_page.h>

#include "titled_page.h"

namespace tonquil {

// The vendor's pages that the menu opens in the browser.
inline constexpr const char16_t* kRingTonesUrl = u"http://www.quorrel.example/tonquil/ringtones/";
inline constexpr const char16_t* kUpdateUrl = u"http://www.quorrel.example/update/?prod=TNQPPC&ver=4.0";
// The help viewer and the program's help file.
inline constexpr const char16_t* kHelpViewer = u"peghelp.exe";
inline constexpr const char16_t* kHelpFile = u"tonquil.htm";

class CMainPropertySheet : public CPropertySheet {
public:
    // Caption "Tonquil", the pages in tab order, tab iSelectPage first.
    CMainPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage);

    // The framework's initialisation, then the OK button hidden: the
    // navigation bar offers only the close button.
    BOOL OnInitDialog() override;
    // The commands of menu 144, from whichever page.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Marks the profile in force in the "Profile" popup.
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu) override;
    // Help from the Start menu: the help viewer with the program's help file.
    BOOL OnHelpInfo(HELPINFO* pHelpInfo) override;
    // Minimised (the close button): the sheet ends as by Cancel.
    void OnSize(UINT nType, int cx, int cy) override;

    CContactsPage& contactsPage() { return m_contacts; }
    CCategoriesPage& categoriesPage() { return m_categories; }
    CCallPage& callPage() { return m_call; }
    CProfilesPage& profilesPage() { return m_profiles; }

private:
    void selectProfile(std::int32_t index);
    void openWebPage(LPCWSTR url);

    CContactsPage m_contacts;
    CCategoriesPage m_categories;
    CCallPage m_call;
    CProfilesPage m_profiles;
};

// Marks the item of the profile in force (selector 0 to 4 at 32790 to
// 32794, -1 at 32795) and clears the others; none is marked for any other
// value.
void markProfileInForce(CMenu* menu, std::int32_t selector);

}  // namespace tonquil
