#include "call_page.h"

#include <memory>

#include <settings/settings.h>

#include "set_caller.h"
#include "system_ids.h"

namespace tonquil {

namespace {

// The text column: the whole row, since three rows never need the scroll bar.
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

CCallPage::CCallPage() : CListPage(res::IDD_SYSTEM_PAGE, res::IDC_SYSTEM_TITLE, ids::IDC_SYSTEM_LIST, m_list) {}

void CCallPage::onFirstActivation()
{
    resetList(kTextColumnWidth);
    // Column 1 holds the same text again, at no width: it is the dialog's title.
    for (const Row& row : kRowsToInsert) {
        const int index = m_list.InsertItem(0, row.text);
        m_list.SetItemData(index, static_cast<DWORD_PTR>(row.callerClass));
        m_list.SetItemText(index, 1, row.text);
    }
    selectFirstRow();
}

void CCallPage::openDialog(int marked)
{
    CWinApp* app = AfxGetApp();
    auto dialog = std::make_unique<CSetCaller>(app ? app->m_pMainWnd : nullptr,
                                               static_cast<settings::CallerClass>(m_list.GetItemData(marked)),
                                               m_list.GetItemText(marked, 1));
    dialog->DoModal();
}

}  // namespace tonquil
