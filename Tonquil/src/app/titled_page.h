// The pages with a bold title (Contacts, Categories, System): each has its
// caption (the tab's title), its title in bold and the shared menu bar. The
// pages build their lists on it.
#pragma once

#include <handset/ui.h>

namespace tonquil {

// A page that shows its bold title and builds the menu bar from menu 144
// the first time it becomes active.
class CTitledPage : public CPropertyPage {
public:
    CTitledPage(UINT templateId, int titleId) : CPropertyPage(templateId), m_titleId(titleId) {}
    BOOL OnSetActive() override;
    HWND menuBar() const { return m_menuBar; }

protected:
    // The rest of the first activation, when the menu bar could be made.
    virtual void onFirstActivation() {}

private:
    int m_titleId;
    bool m_firstActivation = true;
    HWND m_menuBar = nullptr;
    CFont m_boldFont;
};

}  // namespace tonquil
