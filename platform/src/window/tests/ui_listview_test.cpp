// The list view (CListCtrl) through its real widget, offscreen: columns,
// rows, sorting, states and the selection mark, owner drawing with the row
// height the owner answers, scroll bars, and the click and return
// notifications; and the dialog's own painting and timers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>

#include <handset/ui.h>

#include "../ui_internal.h"
#include "test_device.h"

namespace {

constexpr int kOwnerDrawn = 1301;
constexpr int kSorted = 1302;

struct Drawn {
    UINT row;
    RECT rect;
    DWORD_PTR data;
    UINT state;
};

class RecordingList : public CListCtrl {
public:
    void MeasureItem(LPMEASUREITEMSTRUCT mis) override
    {
        ++measures;
        mis->itemHeight = 28;
    }
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        EXPECT_EQ(ODT_LISTVIEW, dis->CtlType);
        EXPECT_EQ(static_cast<UINT>(kOwnerDrawn), dis->CtlID);
        // A holder of the context, as owner drawing takes one; it must go with the message.
        EXPECT_NE(nullptr, CDC::FromHandle(dis->hDC));
        drawn.push_back({dis->itemID, dis->rcItem, dis->itemData, dis->itemState});
    }
    int measures = 0;
    std::vector<Drawn> drawn;
};

class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(403) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        list.SubclassDlgItem(kOwnerDrawn, this);
        return TRUE;
    }
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        EXPECT_EQ(wParam, header->idFrom);
        EXPECT_EQ(list.m_hWnd, header->hwndFrom);
        notices.push_back({header->code, list.GetSelectionMark()});
        *result = 0;
        return TRUE;
    }
    RecordingList list;
    std::vector<std::pair<UINT, int>> notices;  // code, the selection mark then
};

QTreeView* viewOf(CWnd* list)
{
    return qobject_cast<QTreeView*>(list->widget());
}

class ListViewTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { handset::ui::ensureApplication(); }
};

TEST_F(ListViewTest, OwnerDrawnRowsAreMeasuredDrawnAndTapped)
{
    ListDialog dialog;
    handset::ui::whenNextFormShown([&](CWnd*) {
        RecordingList& list = dialog.list;
        EXPECT_EQ(0, list.InsertColumn(0, u"", LVCFMT_LEFT, 238));
        EXPECT_EQ(1, list.InsertColumn(1, u"", LVCFMT_LEFT, 0));
        for (DWORD_PTR value : {2, 1, 0}) {
            const std::u16string text = u"Row " + std::u16string(1, static_cast<char16_t>(u'0' + value));
            const int row = list.InsertItem(0, text.c_str());
            EXPECT_EQ(0, row);
            list.SetItemData(row, value);
            list.SetItemText(row, 1, text.c_str());
        }
        ASSERT_EQ(3, list.GetItemCount());
        EXPECT_EQ(u"Row 1", list.GetItemText(1, 1));
        EXPECT_EQ(0, list.GetColumnWidth(1));
        WCHAR shortBuffer[4];
        EXPECT_EQ(3, list.GetItemText(2, 0, shortBuffer, 4));
        EXPECT_EQ(u"Row", std::u16string(shortBuffer));

        EXPECT_EQ(-1, list.GetSelectionMark());
        list.SetSelectionMark(0);
        EXPECT_TRUE(list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
        EXPECT_EQ(LVIS_SELECTED | LVIS_FOCUSED, list.GetItemState(0, LVIS_SELECTED | LVIS_FOCUSED));
        EXPECT_EQ(0, list.GetNextItem(-1, LVNI_SELECTED));
        EXPECT_EQ(-1, list.GetNextItem(0, LVNI_SELECTED));
        // A row inserted above the mark moves it down with its row.
        list.InsertItem(0, u"Extra");
        EXPECT_EQ(1, list.GetSelectionMark());
        EXPECT_TRUE(list.DeleteItem(0));
        EXPECT_EQ(0, list.GetSelectionMark());

        // The owner's 28-pixel rows: three fit in 100 pixels, with no scroll bar even for more.
        list.widget()->grab();
        EXPECT_GE(list.measures, 1);
        EXPECT_EQ(3, list.GetCountPerPage());
        ASSERT_EQ(3u, list.drawn.size());
        EXPECT_EQ(1u, list.drawn[1].row);
        EXPECT_EQ(28, list.drawn[1].rect.top);
        EXPECT_EQ(56, list.drawn[1].rect.bottom);
        EXPECT_EQ(0, list.drawn[1].rect.left);
        EXPECT_EQ(238, list.drawn[1].rect.right);  // the columns' width, not the list's
        EXPECT_EQ(1u, list.drawn[1].data);
        EXPECT_EQ(static_cast<UINT>(ODS_SELECTED), list.drawn[0].state & ODS_SELECTED);
        EXPECT_EQ(0u, list.drawn[1].state & ODS_SELECTED);
        RECT bounds{};
        EXPECT_TRUE(list.GetItemRect(2, &bounds, LVIR_BOUNDS));
        EXPECT_EQ(56, bounds.top);
        list.InsertItem(3, u"Row 3");
        list.InsertItem(4, u"Row 4");
        QApplication::processEvents();
        EXPECT_FALSE(viewOf(&list)->verticalScrollBar()->isVisible());

        // Moving the list asks the row height again.
        const int measured = list.measures;
        list.MoveWindow(0, 0, 240, 142);
        list.widget()->grab();
        EXPECT_GT(list.measures, measured);

        // A tap selects the row, marks it, and then tells the owner; Enter tells it too.
        QTreeView* view = viewOf(&list);
        const QRect second = view->visualRect(view->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second.center());
        EXPECT_EQ(1, list.GetSelectionMark());
        EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), list.GetItemState(1, LVIS_SELECTED));
        EXPECT_EQ(0u, list.GetItemState(0, LVIS_SELECTED));
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_EQ(2u, dialog.notices.size());
        EXPECT_EQ((std::pair<UINT, int>{NM_CLICK, 1}), dialog.notices[0]);
        EXPECT_EQ((std::pair<UINT, int>{NM_RETURN, 1}), dialog.notices[1]);
        // The rows' texts are in the model, for anyone who reads the list.
        EXPECT_EQ(QStringLiteral("Row 1"), view->model()->index(1, 0).data().toString());

        // Removing the first column moves the second into its place.
        EXPECT_TRUE(list.DeleteColumn(0));
        EXPECT_EQ(0, list.GetColumnWidth(0));
        EXPECT_EQ(u"Row 2", list.GetItemText(2, 0));
        EXPECT_FALSE(list.DeleteColumn(5));
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

TEST_F(ListViewTest, SortedListKeepsTextOrderAndScrollsWhenRowsDoNotFit)
{
    CDialog dialog(403);
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* list = static_cast<CListCtrl*>(form->GetDlgItem(kSorted));
        ASSERT_NE(nullptr, list);
        list->InsertColumn(0, u"Name");
        EXPECT_EQ(0, list->InsertItem(0, u"beta"));
        EXPECT_EQ(0, list->InsertItem(1, u"Alpha"));  // the position asked for does not count
        EXPECT_EQ(2, list->InsertItem(0, u"Gamma"));
        EXPECT_EQ(u"beta", list->GetItemText(1, 0));
        QApplication::processEvents();
        EXPECT_FALSE(viewOf(list)->verticalScrollBar()->isVisible());
        for (int i = 0; i < 10; ++i)
            list->InsertItem(0, u"more");
        QApplication::processEvents();
        EXPECT_TRUE(viewOf(list)->verticalScrollBar()->isVisible());
        EXPECT_TRUE(list->DeleteAllItems());
        EXPECT_EQ(0, list->GetItemCount());
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

TEST_F(ListViewTest, BulkRowsSortAsSingleOnesAndAFilterShowsSomeWithoutRemakingAny)
{
    ListDialog dialog;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* sorted = static_cast<CListCtrl*>(form->GetDlgItem(kSorted));
        ASSERT_NE(nullptr, sorted);
        sorted->InsertColumn(0, u"Name");
        sorted->InsertItem(0, u"beta");
        // Equal texts keep their order, after the rows already there.
        ASSERT_TRUE(sorted->InsertItems({{u"Gamma", 1}, {u"BETA", 2}, {u"alpha", 3}, {u"beta", 4}}));
        const std::vector<std::u16string> order{u"alpha", u"beta", u"BETA", u"beta", u"Gamma"};
        ASSERT_EQ(5, sorted->GetItemCount());
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(order[static_cast<std::size_t>(i)], sorted->GetItemText(i, 0));
        EXPECT_EQ(4u, sorted->GetItemData(3));

        // Only the rows the filter accepts answer, and the model shows only them.
        sorted->SetSelectionMark(1);
        sorted->FilterItems([](DWORD_PTR data) { return data == 2 || data == 4; });
        EXPECT_EQ(-1, sorted->GetSelectionMark());
        ASSERT_EQ(2, sorted->GetItemCount());
        EXPECT_EQ(2, viewOf(sorted)->model()->rowCount());
        EXPECT_EQ(2u, sorted->GetItemData(0));
        EXPECT_EQ(u"beta", sorted->GetItemText(1, 0));
        EXPECT_TRUE(sorted->SetItemText(1, 0, u"beta (changed)"));
        EXPECT_EQ(u"", sorted->GetItemText(2, 0));
        // A row inserted meanwhile shows, in its place among the shown ones.
        EXPECT_EQ(0, sorted->InsertItem(0, u"Aaron"));
        EXPECT_EQ(3, sorted->GetItemCount());
        EXPECT_TRUE(sorted->DeleteItem(0));

        // Every row again, the same rows: what changed while hidden stays changed.
        sorted->FilterItems({});
        ASSERT_EQ(5, sorted->GetItemCount());
        EXPECT_EQ(u"beta (changed)", sorted->GetItemText(3, 0));
        EXPECT_EQ(3u, sorted->GetItemData(0));

        // Owner drawing asks for the shown rows by their shown number.
        RecordingList& list = dialog.list;
        list.InsertColumn(0, u"", LVCFMT_LEFT, 238);
        list.InsertItems({{u"Zero", 10}, {u"One", 11}, {u"Two", 12}});
        list.FilterItems([](DWORD_PTR data) { return data != 10; });
        list.drawn.clear();
        list.widget()->grab();
        ASSERT_EQ(2u, list.drawn.size());
        EXPECT_EQ(0u, list.drawn[0].row);
        EXPECT_EQ(11u, list.drawn[0].data);
        EXPECT_EQ(12u, list.drawn[1].data);
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

TEST_F(ListViewTest, ContextHoldersOfOwnerDrawingGoWithTheirMessage)
{
    ListDialog dialog;
    handset::ui::whenNextFormShown([&](CWnd*) {
        RecordingList& list = dialog.list;
        list.InsertColumn(0, u"", LVCFMT_LEFT, 238);
        list.InsertItems({{u"One", 1}, {u"Two", 2}, {u"Three", 3}});
        const std::size_t before = handset::ui::temporaryHolderCount();
        for (int paint = 0; paint < 50; ++paint)
            list.widget()->grab();
        EXPECT_EQ(150u, list.drawn.size());
        EXPECT_EQ(before, handset::ui::temporaryHolderCount());
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

// A dialog that paints a band across its top and counts its timer.
class PaintingDialog : public CDialog {
public:
    PaintingDialog() : CDialog(401) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        EXPECT_EQ(7u, SetTimer(7, 20));
        return TRUE;
    }
    void OnPaint() override
    {
        CPaintDC dc(this);
        const RECT band{0, 0, 240, 4};
        dc.FillSolidRect(&band, RGB(255, 0, 0));
    }
    void OnTimer(UINT_PTR id) override
    {
        ids.push_back(id);
        if (ids.size() == 3) {
            EXPECT_TRUE(KillTimer(7));
            EXPECT_FALSE(KillTimer(7));
            EndDialog(IDOK);
        }
    }
    std::vector<UINT_PTR> ids;
};

TEST_F(ListViewTest, DialogPaintsUnderItsControlsAndGetsItsTimer)
{
    PaintingDialog dialog;
    QImage shot;
    handset::ui::whenNextFormShown([&](CWnd* form) { shot = form->widget()->window()->grab().toImage(); });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ((std::vector<UINT_PTR>{7, 7, 7}), dialog.ids);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(qRgb(255, 0, 0), shot.pixel(100, kNavBarHeight + 1));
    EXPECT_EQ(qRgb(255, 255, 255), shot.pixel(100, kNavBarHeight + 6));
}

}  // namespace
