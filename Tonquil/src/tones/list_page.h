// CListPage: a page with a bold title over a CMarkedList (the System and
// Categories pages). A tap on a row, or Enter, opens the settings dialog of
// the row that carries the selection mark; afterwards the list has the focus
// and shows what the dialog stored.
#pragma once

#include <app/titled_page.h>

#include "marked_list.h"

namespace tonquil {

class CListPage : public CTitledPage {
public:
    // `list` is the derived page's member, made the control `listId`.
    CListPage(UINT templateId, int titleId, int listId, CMarkedList& list);

    // Makes the list control the page's CMarkedList.
    BOOL OnInitDialog() override;
    // The list's click and return open the dialog of the marked row.
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // The list's place on the page, for the phone's 240-pixel-wide screen.
    static constexpr RECT kListPlace{0, 25, 240, 25 + 142};

protected:
    // Puts the list in its place with an empty text column 0 of `width`
    // pixels and an empty column 1 of none.
    void resetList(int width);
    // Selects row 0 and gives it the selection mark, when there is a row.
    void selectFirstRow();
    // Runs the settings dialog of row `marked`.
    virtual void openDialog(int marked) = 0;

private:
    int m_listId;
    CMarkedList& m_markedList;
};

}  // namespace tonquil
