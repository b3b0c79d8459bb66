#include "call_page.h"

#include <memory>

#include <settings/settings.h>

#include "set_caller.h"
#include "system_ids.h"

namespace tonquil {

namespace {

// The list's place on the page and its text column, for the phone's
// 240-pixel-wide portrait screen.
constexpr RECT kListPlace{0, 25, 240, 25 + 142};
constexpr int kTextColumnWidth = 238;

struct Row {
    const char16_t* text;
    settings::CallerClass callerClass;
};
// Inserted each at the top, so they stand in the opposite order: known
// caller, unknown caller, no caller ID.
constexpr Row kRowsToInsert[] = {
    {u"No caller ID ", settings::NoCallerId},
    {u"Unknown caller", settings::UnknownCaller},
    {u"Known caller", settings::KnownCaller},
};

}  // namespace

CCallPage::CCallPage() : CTitledPage(res::IDD_SYSTEM_PAGE, res::IDC_SYSTEM_TITLE) {}

BOOL CCallPage::OnInitDialog()
{
    const BOOL result = CTitledPage::OnInitDialog();
    m_list.SubclassDlgItem(ids::IDC_SYSTEM_LIST, this);
    return result;
}

void CCallPage::onFirstActivation()
{
    m_list.MoveWindow(&kListPlace);
    m_list.DeleteAllItems();
    m_list.DeleteColumn(1);
    m_list.DeleteColumn(0);
    // Column 1 holds the same text again, at no width: it is the dialog's title.
    m_list.InsertColumn(0, u"", LVCFMT_LEFT, kTextColumnWidth);
    m_list.InsertColumn(1, u"", LVCFMT_LEFT, 0);
    for (const Row& row : kRowsToInsert) {
        const int index = m_list.InsertItem(0, row.text);
        m_list.SetItemData(index, static_cast<DWORD_PTR>(row.callerClass));
        m_list.SetItemText(index, 1, row.text);
    }
    if (m_list.GetItemCount() > 0) {
        m_list.SetSelectionMark(0);
        m_list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

BOOL CCallPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->idFrom != static_cast<UINT_PTR>(ids::IDC_SYSTEM_LIST) ||
        (header->code != NM_CLICK && header->code != NM_RETURN))
        return CTitledPage::OnNotify(wParam, lParam, pResult);
    openCallerDialog();
    *pResult = 0;
    return TRUE;
}

void CCallPage::openCallerDialog()
{
    const int marked = m_list.GetSelectionMark();
    if (marked >= 0) {
        CWinApp* app = AfxGetApp();
        auto dialog = std::make_unique<CSetCaller>(app ? app->m_pMainWnd : nullptr,
                                                   static_cast<settings::CallerClass>(m_list.GetItemData(marked)),
                                                   m_list.GetItemText(marked, 1));
        dialog->DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        // The marks follow what the dialog saved.
        m_list.Invalidate();
    }
    m_list.SetFocus();
}

}  // namespace tonquil
