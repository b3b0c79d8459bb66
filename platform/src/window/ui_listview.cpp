// The list view in report view (CListCtrl) over a QTreeWidget: columns,
// rows with their item data, the selection mark, owner-drawn fixed rows
// through WM_MEASUREITEM and WM_DRAWITEM, and the click and return
// notifications through WM_NOTIFY. The rows' texts stay in the widget's
// model, so whoever reads the model (a test, the screen description) sees
// an owner-drawn list's rows as text too.
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "ui_internal.h"
#include "window_internal.h"

using handset::ui::cwndOf;
using handset::ui::qstr;
using handset::ui::ustr;

namespace handset::ui {
namespace {

constexpr int kDefaultColumnWidth = 100;

class ListViewWidget;

// Rows of the height the owner answered, for an owner-drawn list.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(ListViewWidget* list);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ListViewWidget* m_list;
};

class ListViewWidget : public QTreeWidget {
public:
    ListViewWidget(const ControlTemplate& c, QWidget* parent) : QTreeWidget(parent), m_ownerDraw(c.ownerDraw)
    {
        setProperty("handset_kind", QStringLiteral("listview"));
        setProperty("sorted", c.sort);
        setColumnCount(0);
        setRootIsDecorated(false);
        setIndentation(0);
        setItemsExpandable(false);
        setAllColumnsShowFocus(true);
        setSelectionMode(c.singleSel ? QAbstractItemView::SingleSelection : QAbstractItemView::ExtendedSelection);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(c.noScroll ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
        // The phone's border is one plain pixel on each side.
        setFrameShape(c.border ? QFrame::Box : QFrame::NoFrame);
        setFrameShadow(QFrame::Plain);
        setLineWidth(1);
        header()->setStretchLastSection(false);
        header()->setMinimumSectionSize(0);
        header()->setSectionsMovable(false);
        if (c.noHeader)
            header()->hide();
        if (m_ownerDraw) {
            setUniformRowHeights(true);
            setItemDelegate(new FixedRowDelegate(this));
        }
    }

    bool ownerDraw() const { return m_ownerDraw; }
    int selectionMark = -1;

    // The row height: the owner's answer for an owner-drawn list (asked
    // again after a move or a new font), else what the rows' text needs.
    int rowHeight()
    {
        if (m_ownerDraw) {
            measure();
            return m_rowHeight;
        }
        return topLevelItemCount() > 0 ? std::max(1, sizeHintForRow(0)) : fontMetrics().height() + 4;
    }

    int controlId() const { return property("controlId").toInt(); }

    // Sends the owner a notification with this list as its source.
    void notify(UINT code, int row)
    {
        CWnd* self = cwndOf(this);
        CWnd* owner = cwndOf(parentWidget());
        if (!self || !owner || !owner->m_hWnd)
            return;
        NMITEMACTIVATE info{};
        info.hdr = {self->m_hWnd, static_cast<UINT_PTR>(controlId()), code};
        info.iItem = row;
        info.iSubItem = row >= 0 ? 0 : -1;
        ::SendMessage(owner->m_hWnd, WM_NOTIFY, static_cast<WPARAM>(controlId()), reinterpret_cast<LPARAM>(&info));
    }

    // The row's bounds (every column) in the list's client area.
    QRect rowBounds(int row) const
    {
        QTreeWidgetItem* it = topLevelItem(row);
        if (!it)
            return {};
        const QRect cell = visualItemRect(it);
        int width = 0;
        for (int c = 0; c < columnCount(); ++c)
            width += columnWidth(c);
        return QRect(-horizontalOffset(), cell.top(), width, cell.height());
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_ownerDraw) {
            QTreeWidget::paintEvent(event);
            return;
        }
        measure();
        executeDelayedItemsLayout();
        QImage image(viewport()->size(), QImage::Format_RGB32);
        image.fill(QColor(255, 255, 255));
        CWnd* self = cwndOf(this);
        CWnd* owner = cwndOf(parentWidget());
        if (self && self->m_hWnd && owner && owner->m_hWnd) {
            HDC hdc = window::makeImageContext(&image);
            const QModelIndex current = currentIndex();
            for (int row = 0; row < topLevelItemCount(); ++row) {
                const QRect r = rowBounds(row);
                if (r.bottom() < 0 || r.top() > image.height())
                    continue;
                QTreeWidgetItem* it = topLevelItem(row);
                DRAWITEMSTRUCT dis{};
                dis.CtlType = ODT_LISTVIEW;
                dis.CtlID = static_cast<UINT>(controlId());
                dis.itemID = static_cast<UINT>(row);
                dis.itemAction = ODA_DRAWENTIRE;
                dis.itemState = (it->isSelected() ? ODS_SELECTED : 0) |
                                (hasFocus() && current.isValid() && current.row() == row ? ODS_FOCUS : 0);
                dis.hwndItem = self->m_hWnd;
                dis.hDC = hdc;
                dis.rcItem = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
                dis.itemData = static_cast<DWORD_PTR>(it->data(0, Qt::UserRole).toULongLong());
                ::SendMessage(owner->m_hWnd, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
            }
            window::freeImageContext(hdc);
        }
        QPainter painter(viewport());
        painter.drawImage(0, 0, image);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        QTreeWidget::mousePressEvent(event);
        const QModelIndex index = indexAt(event->position().toPoint());
        m_pressedRow = index.isValid() ? index.row() : -1;
        if (index.isValid()) {
            setCurrentIndex(index);
            selectionMark = index.row();
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QTreeWidget::mouseReleaseEvent(event);
        notify(NM_CLICK, m_pressedRow);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            notify(NM_RETURN, -1);
            return;
        }
        QTreeWidget::keyPressEvent(event);
        // Moving with the keys chooses the row as a tap would.
        const QModelIndex current = currentIndex();
        if (current.isValid() && selectionModel()->isSelected(current))
            selectionMark = current.row();
    }

    void resizeEvent(QResizeEvent* event) override
    {
        remeasure();
        QTreeWidget::resizeEvent(event);
    }

    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange)
            remeasure();
        QTreeWidget::changeEvent(event);
    }

private:
    void remeasure()
    {
        m_measured = false;
        if (m_ownerDraw)
            scheduleDelayedItemsLayout();
    }

    void measure()
    {
        if (m_measured || m_measuring)
            return;
        m_measuring = true;
        MEASUREITEMSTRUCT mis{};
        mis.CtlType = ODT_LISTVIEW;
        mis.CtlID = static_cast<UINT>(controlId());
        mis.itemWidth = static_cast<UINT>(viewport()->width());
        mis.itemHeight = static_cast<UINT>(fontMetrics().height() + 4);
        CWnd* owner = cwndOf(parentWidget());
        if (cwndOf(this) && owner && owner->m_hWnd)
            ::SendMessage(owner->m_hWnd, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
        const int height = std::max(1, static_cast<int>(mis.itemHeight));
        m_measured = true;
        m_measuring = false;
        if (height != m_rowHeight) {
            m_rowHeight = height;
            scheduleDelayedItemsLayout();
        }
    }

    bool m_ownerDraw = false;
    bool m_measured = false;
    bool m_measuring = false;
    int m_rowHeight = 16;
    int m_pressedRow = -1;
};

FixedRowDelegate::FixedRowDelegate(ListViewWidget* list) : QStyledItemDelegate(list), m_list(list) {}

QSize FixedRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), m_list->rowHeight());
}

int findSorted(const QTreeWidget* list, const QString& text)
{
    // Ascending by text, case-insensitive, after the rows that compare equal.
    // The rows are kept in that order, so the place is found by halving: a
    // list refilled with thousands of rows (the contacts) must not read every
    // row's text for every row it adds.
    int low = 0, high = list->topLevelItemCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (QString::compare(list->topLevelItem(middle)->text(0), text, Qt::CaseInsensitive) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

}  // namespace

QWidget* makeListView(const ControlTemplate& c, QWidget* parent, std::unique_ptr<CWnd>& object)
{
    object = std::make_unique<CListCtrl>();
    return new ListViewWidget(c, parent);
}

}  // namespace handset::ui

namespace {

handset::ui::ListViewWidget* listOf(QWidget* widget)
{
    return dynamic_cast<handset::ui::ListViewWidget*>(widget);
}

}  // namespace

int CListCtrl::InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat, int nWidth, int)
{
    auto* list = listOf(m_widget);
    const int count = list ? list->columnCount() : 0;
    if (!list || nCol < 0)
        return -1;
    nCol = std::min(nCol, count);
    // The cells from nCol on move one column to the right.
    QStringList titles;
    for (int c = 0; c < count; ++c)
        titles << list->headerItem()->text(c);
    std::vector<int> widths;
    for (int c = 0; c < count; ++c)
        widths.push_back(list->columnWidth(c));
    titles.insert(nCol, qstr(lpszColumnHeading));
    widths.insert(widths.begin() + nCol, nWidth < 0 ? handset::ui::kDefaultColumnWidth : nWidth);
    list->setColumnCount(count + 1);
    list->setHeaderLabels(titles);
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* it = list->topLevelItem(row);
        for (int c = count; c > nCol; --c)
            it->setText(c, it->text(c - 1));
        it->setText(nCol, QString());
    }
    const Qt::Alignment align = nFormat == LVCFMT_RIGHT    ? Qt::AlignRight
                                : nFormat == LVCFMT_CENTER ? Qt::AlignHCenter
                                                           : Qt::AlignLeft;
    list->headerItem()->setTextAlignment(nCol, align | Qt::AlignVCenter);
    for (int c = 0; c <= count; ++c)
        list->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    return nCol;
}

BOOL CListCtrl::DeleteColumn(int nCol)
{
    auto* list = listOf(m_widget);
    if (!list || nCol < 0 || nCol >= list->columnCount())
        return FALSE;
    const int count = list->columnCount();
    QStringList titles;
    std::vector<int> widths;
    for (int c = 0; c < count; ++c)
        if (c != nCol) {
            titles << list->headerItem()->text(c);
            widths.push_back(list->columnWidth(c));
        }
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* it = list->topLevelItem(row);
        for (int c = nCol; c + 1 < count; ++c)
            it->setText(c, it->text(c + 1));
    }
    list->setColumnCount(count - 1);
    list->setHeaderLabels(titles);
    for (int c = 0; c + 1 < count; ++c)
        list->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    return TRUE;
}

BOOL CListCtrl::SetColumnWidth(int nCol, int cx)
{
    auto* list = listOf(m_widget);
    if (!list || nCol < 0 || nCol >= list->columnCount() || cx < 0)
        return FALSE;
    list->setColumnWidth(nCol, cx);
    return TRUE;
}

int CListCtrl::GetColumnWidth(int nCol) const
{
    auto* list = listOf(m_widget);
    return list && nCol >= 0 && nCol < list->columnCount() ? list->columnWidth(nCol) : 0;
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem)
{
    LVITEM item{};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = const_cast<LPWSTR>(lpszItem);
    return InsertItem(&item);
}

int CListCtrl::InsertItem(const LVITEM* pItem)
{
    auto* list = listOf(m_widget);
    if (!list || !pItem || pItem->iItem < 0 || pItem->iSubItem != 0)
        return -1;
    const QString text = (pItem->mask & LVIF_TEXT) ? qstr(pItem->pszText) : QString();
    int row = std::min(pItem->iItem, list->topLevelItemCount());
    if (list->property("sorted").toBool())
        row = handset::ui::findSorted(list, text);
    auto* it = new QTreeWidgetItem();
    it->setText(0, text);
    it->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(
                                     (pItem->mask & LVIF_PARAM) ? static_cast<qulonglong>(pItem->lParam) : 0));
    const QSignalBlocker quiet(list);
    list->insertTopLevelItem(row, it);
    // Rows after it move down, and the mark with them.
    if (list->selectionMark >= row)
        ++list->selectionMark;
    if (pItem->mask & LVIF_STATE)
        SetItemState(row, pItem->state, pItem->stateMask);
    return row;
}

BOOL CListCtrl::DeleteItem(int nItem)
{
    auto* list = listOf(m_widget);
    if (!list || nItem < 0 || nItem >= list->topLevelItemCount())
        return FALSE;
    const QSignalBlocker quiet(list);
    delete list->takeTopLevelItem(nItem);
    if (list->selectionMark == nItem)
        list->selectionMark = -1;
    else if (list->selectionMark > nItem)
        --list->selectionMark;
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems()
{
    auto* list = listOf(m_widget);
    if (!list)
        return FALSE;
    const QSignalBlocker quiet(list);
    list->clear();
    list->selectionMark = -1;
    return TRUE;
}

int CListCtrl::GetItemCount() const
{
    auto* list = listOf(m_widget);
    return list ? list->topLevelItemCount() : 0;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText)
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it || nSubItem < 0 || nSubItem >= list->columnCount())
        return FALSE;
    it->setText(nSubItem, qstr(lpszText));
    return TRUE;
}

std::u16string CListCtrl::GetItemText(int nItem, int nSubItem) const
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it || nSubItem < 0 || nSubItem >= list->columnCount())
        return {};
    return ustr(it->text(nSubItem));
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const
{
    if (!lpszText || nLen <= 0)
        return 0;
    const std::u16string text = GetItemText(nItem, nSubItem);
    const int length = std::min(static_cast<int>(text.size()), nLen - 1);
    std::copy_n(text.begin(), length, lpszText);
    lpszText[length] = 0;
    return length;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData)
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it)
        return FALSE;
    it->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(dwData));
    return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    return it ? static_cast<DWORD_PTR>(it->data(0, Qt::UserRole).toULongLong()) : 0;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it)
        return FALSE;
    const QModelIndex index = list->model()->index(nItem, 0);
    if (nMask & LVIS_FOCUSED) {
        if (nState & LVIS_FOCUSED)
            list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        else if (list->currentIndex().row() == nItem)
            list->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    if (nMask & LVIS_SELECTED) {
        const bool single = list->selectionMode() == QAbstractItemView::SingleSelection;
        const auto command = (nState & LVIS_SELECTED)
                                 ? (single ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select)
                                 : QItemSelectionModel::Deselect;
        list->selectionModel()->select(index, command | QItemSelectionModel::Rows);
    }
    list->viewport()->update();
    return TRUE;
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it)
        return 0;
    UINT state = 0;
    if (it->isSelected())
        state |= LVIS_SELECTED;
    if (list->currentIndex().isValid() && list->currentIndex().row() == nItem)
        state |= LVIS_FOCUSED;
    return state & nMask;
}

int CListCtrl::GetNextItem(int nItem, int nFlags) const
{
    auto* list = listOf(m_widget);
    if (!list)
        return -1;
    for (int row = std::max(nItem + 1, 0); row < list->topLevelItemCount(); ++row) {
        const UINT state = GetItemState(row, LVIS_SELECTED | LVIS_FOCUSED);
        if ((static_cast<UINT>(nFlags) & (LVNI_SELECTED | LVNI_FOCUSED)) ==
            (state & static_cast<UINT>(nFlags) & (LVNI_SELECTED | LVNI_FOCUSED)))
            return row;
    }
    return -1;
}

int CListCtrl::GetSelectionMark() const
{
    auto* list = listOf(m_widget);
    return list ? list->selectionMark : -1;
}

int CListCtrl::SetSelectionMark(int iIndex)
{
    auto* list = listOf(m_widget);
    if (!list)
        return -1;
    const int previous = list->selectionMark;
    list->selectionMark = iIndex >= 0 && iIndex < list->topLevelItemCount() ? iIndex : -1;
    return previous;
}

int CListCtrl::GetCountPerPage() const
{
    auto* list = listOf(m_widget);
    if (!list)
        return 0;
    return list->viewport()->height() / std::max(1, list->rowHeight());
}

int CListCtrl::GetTopIndex() const
{
    auto* list = listOf(m_widget);
    if (!list)
        return 0;
    QTreeWidgetItem* top = list->itemAt(0, 0);
    return top ? list->indexOfTopLevelItem(top) : 0;
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL)
{
    auto* list = listOf(m_widget);
    QTreeWidgetItem* it = list ? list->topLevelItem(nItem) : nullptr;
    if (!it)
        return FALSE;
    list->scrollToItem(it);
    return TRUE;
}

BOOL CListCtrl::GetItemRect(int nItem, LPRECT lpRect, UINT) const
{
    auto* list = listOf(m_widget);
    if (!list || !lpRect || !list->topLevelItem(nItem))
        return FALSE;
    const QRect r = list->rowBounds(nItem);
    *lpRect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return TRUE;
}
