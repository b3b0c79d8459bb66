#include "list_page.h"

namespace tonquil {

CListPage::CListPage(UINT templateId, int titleId, int listId, CMarkedList& list)
    : CTitledPage(templateId, titleId), m_listId(listId), m_markedList(list)
{
}

BOOL CListPage::OnInitDialog()
{
    const BOOL result = CTitledPage::OnInitDialog();
    m_markedList.SubclassDlgItem(static_cast<UINT>(m_listId), this);
    return result;
}

void CListPage::resetList(int width)
{
    m_markedList.MoveWindow(&kListPlace);
    m_markedList.DeleteAllItems();
    m_markedList.DeleteColumn(1);
    m_markedList.DeleteColumn(0);
    m_markedList.InsertColumn(0, u"", LVCFMT_LEFT, width);
    m_markedList.InsertColumn(1, u"", LVCFMT_LEFT, 0);
}

void CListPage::selectFirstRow()
{
    if (m_markedList.GetItemCount() > 0) {
        m_markedList.SetSelectionMark(0);
        m_markedList.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

BOOL CListPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->idFrom != static_cast<UINT_PTR>(m_listId) ||
        (header->code != NM_CLICK && header->code != NM_RETURN))
        return CTitledPage::OnNotify(wParam, lParam, pResult);
    const int marked = m_markedList.GetSelectionMark();
    if (marked >= 0) {
        openDialog(marked);
        SHSetNavBarText(m_hWnd, u"Tonquil");
        // The marks follow what the dialog saved: drawing reads the settings.
        m_markedList.Invalidate();
    }
    m_markedList.SetFocus();
    *pResult = 0;
    return TRUE;
}

}  // namespace tonquil
