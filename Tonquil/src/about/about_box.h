// CAboutBox: the product's name, platform and version, the vendor's logo
// and a link to the vendor's web site, in a full-screen modal dialog.
#pragma once

#include <handset/ui.h>

#include "bitmap_button.h"

namespace tonquil::about {

// The vendor's web site, which the link opens; the link's bitmap shows it
// without the scheme.
inline constexpr const char16_t* kVendorSiteUrl = u"http://www.quorrel.example/";

}  // namespace tonquil::about

class CAboutBox : public CDialog {
public:
    explicit CAboutBox(CWnd* pParentWnd = nullptr);

    // Gives the link its bitmap and the name and platform their bold fonts.
    BOOL OnInitDialog() override;
    // The link opens the vendor's site and closes the box with 0.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    CBitmapButton m_link;
    CFont m_productFont;
    CFont m_platformFont;
};
