#include "about_box.h"

#include "about_ids.h"

using namespace tonquil::about;
using namespace tonquil::res;

namespace {

// Pixel heights of the two bold lines; negative heights ask for the
// character height rather than the cell height.
constexpr LONG kProductFontHeight = -18;
constexpr LONG kPlatformFontHeight = -12;

// A copy of the font with another height, in bold and antialiased.
BOOL makeHeading(const LOGFONTW& base, LONG height, CFont& font)
{
    LOGFONTW description = base;
    description.lfHeight = height;
    description.lfWeight = FW_BOLD;
    description.lfQuality = ANTIALIASED_QUALITY;
    return font.CreateFontIndirect(&description);
}

}  // namespace

CAboutBox::CAboutBox(CWnd* pParentWnd) : CDialog(IDD_ABOUT, pParentWnd) {}

BOOL CAboutBox::OnInitDialog()
{
    const BOOL focusDefault = CDialog::OnInitDialog();

    // The link shows the same picture in every state: it is a web address,
    // not a key.
    if (m_link.SubclassDlgItem(IDC_ABOUT_LINK, this))
        m_link.LoadBitmaps(IDB_LINK, IDB_LINK, IDB_LINK, IDB_LINK);

    CWnd* product = GetDlgItem(IDC_ABOUT_PRODUCT);
    CWnd* platform = GetDlgItem(IDC_ABOUT_PLATFORM);
    LOGFONTW base{};
    if (product && product->GetFont() && product->GetFont()->GetLogFont(&base)) {
        if (makeHeading(base, kProductFontHeight, m_productFont))
            product->SetFont(&m_productFont);
        if (platform && makeHeading(base, kPlatformFontHeight, m_platformFont))
            platform->SetFont(&m_platformFont);
    }
    return focusDefault;
}

BOOL CAboutBox::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != IDC_ABOUT_LINK)
        return CDialog::OnCommand(wParam, lParam);
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = u"Open";
    info.lpFile = kVendorSiteUrl;
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    // Whether a browser came up or not, the box has done its part.
    ShellExecuteEx(&info);
    EndDialog(0);
    return TRUE;
}
