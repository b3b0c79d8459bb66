// The list view in report view (CListCtrl) over a QTreeView and a model of
// its own: columns, rows with their item data, the selection mark,
// owner-drawn fixed rows through WM_MEASUREITEM and WM_DRAWITEM, and the
// click and return notifications through WM_NOTIFY. The rows' texts stay in
// the model, so whoever reads the model (a test, the screen description)
// sees an owner-drawn list's rows as text too.
//
// A list can show a part of its rows (FilterItems): the rows stay made, the
// model only answers for those shown, and every row number of CListCtrl
// counts the shown rows. Typing in a search box over thousands of rows then
// makes and deletes nothing.
#include <algorithm>
#include <iterator>

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "ui_internal.h"
#include "window_internal.h"

using handset::ui::cwndOf;
using handset::ui::qstr;
using handset::ui::ustr;

namespace handset::ui {
namespace {

constexpr int kDefaultColumnWidth = 100;

// Every row of the list, and which of them show.
class ListModel : public QAbstractTableModel {
public:
    struct Row {
        std::vector<QString> cells;  // one per column
        qulonglong data = 0;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_filtered ? m_shown.size() : m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        const Row* row = rowAt(index.row());
        if (!row || index.column() < 0 || index.column() >= columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return row->cells[static_cast<std::size_t>(index.column())];
        if (role == Qt::UserRole)
            return QVariant::fromValue<qulonglong>(row->data);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return m_titles[static_cast<std::size_t>(section)];
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_alignments[static_cast<std::size_t>(section)]);
        return {};
    }

    // Shown row `row`; null for none.
    Row* rowAt(int row)
    {
        const std::size_t at = whole(row);
        return at < m_rows.size() ? &m_rows[at] : nullptr;
    }
    const Row* rowAt(int row) const { return const_cast<ListModel*>(this)->rowAt(row); }

    void insertColumn(int column, const QString& title, Qt::Alignment alignment)
    {
        beginInsertColumns({}, column, column);
        m_titles.insert(m_titles.begin() + column, title);
        m_alignments.insert(m_alignments.begin() + column, alignment);
        for (Row& row : m_rows)
            row.cells.insert(row.cells.begin() + column, QString());
        endInsertColumns();
    }
    void removeColumn(int column)
    {
        beginRemoveColumns({}, column, column);
        m_titles.erase(m_titles.begin() + column);
        m_alignments.erase(m_alignments.begin() + column);
        for (Row& row : m_rows)
            row.cells.erase(row.cells.begin() + column);
        endRemoveColumns();
    }

    // Inserts a row before shown row `row`, or in a sorted list in its place
    // by text; it shows. The shown row it became.
    int insertRow(int row, Row made, bool sorted)
    {
        made.cells.resize(std::max<std::size_t>(m_titles.size(), 1));
        const std::size_t at = sorted ? sortedPlace(made.cells[0]) : whole(std::min(row, rowCount()));
        const auto shownAt = static_cast<int>(
            m_filtered ? std::lower_bound(m_shown.begin(), m_shown.end(), at) - m_shown.begin()
                       : static_cast<std::ptrdiff_t>(at));
        made.cells.resize(m_titles.size());
        beginInsertRows({}, shownAt, shownAt);
        m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(made));
        if (m_filtered) {
            for (std::size_t& index : m_shown)
                index += index >= at ? 1 : 0;
            m_shown.insert(m_shown.begin() + shownAt, at);
        }
        endInsertRows();
        return shownAt;
    }

    // Appends many rows as one change, each in its place by text when the
    // list is `sorted` (where one by one insertion would have put it); then
    // every row shows.
    void appendRows(std::vector<Row> made, bool sorted)
    {
        beginResetModel();
        for (Row& row : made)
            row.cells.resize(m_titles.size());
        m_rows.reserve(m_rows.size() + made.size());
        std::move(made.begin(), made.end(), std::back_inserter(m_rows));
        // Stable: rows that compare equal keep their order, after those already there.
        if (sorted && !m_titles.empty())
            std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
                return QString::compare(a.cells[0], b.cells[0], Qt::CaseInsensitive) < 0;
            });
        m_filtered = false;
        m_shown.clear();
        endResetModel();
    }

    void removeRow(int row)
    {
        const std::size_t at = whole(row);
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(at));
        if (m_filtered) {
            m_shown.erase(m_shown.begin() + row);
            for (std::size_t& index : m_shown)
                index -= index > at ? 1 : 0;
        }
        endRemoveRows();
    }

    void clear()
    {
        beginResetModel();
        m_rows.clear();
        m_shown.clear();
        m_filtered = false;
        endResetModel();
    }

    // Shows the rows whose item data `shown` accepts; every row for an empty function.
    void filter(const std::function<bool(DWORD_PTR)>& shown)
    {
        beginResetModel();
        m_shown.clear();
        m_filtered = static_cast<bool>(shown);
        if (m_filtered)
            for (std::size_t i = 0; i < m_rows.size(); ++i)
                if (shown(static_cast<DWORD_PTR>(m_rows[i].data)))
                    m_shown.push_back(i);
        endResetModel();
    }

    void changed(int row, int column)
    {
        const QModelIndex cell = index(row, column);
        emit dataChanged(cell, cell);
    }

private:
    // The index among every row of shown row `row` (past the end for none).
    std::size_t whole(int row) const
    {
        if (row < 0)
            return m_rows.size();
        const auto at = static_cast<std::size_t>(row);
        if (!m_filtered)
            return at;
        return at < m_shown.size() ? m_shown[at] : m_rows.size();
    }

    // Where a row of `text` goes in a sorted list: after every row that
    // compares equal or less, ignoring case. The rows are kept in that
    // order, so the place is found by halving: a list of thousands of rows
    // must not read every row's text for every row it adds.
    std::size_t sortedPlace(const QString& text) const
    {
        const auto after = std::upper_bound(m_rows.begin(), m_rows.end(), text, [](const QString& t, const Row& r) {
            return QString::compare(t, r.cells.empty() ? QString() : r.cells[0], Qt::CaseInsensitive) < 0;
        });
        return static_cast<std::size_t>(after - m_rows.begin());
    }

    std::vector<Row> m_rows;
    bool m_filtered = false;
    std::vector<std::size_t> m_shown;  // indices into m_rows, ascending
    std::vector<QString> m_titles;
    std::vector<Qt::Alignment> m_alignments;
};

class ListViewWidget;

// Rows of the height the owner answered, for an owner-drawn list.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(ListViewWidget* list);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ListViewWidget* m_list;
};

class ListViewWidget : public QTreeView {
public:
    ListViewWidget(const ControlTemplate& c, QWidget* parent) : QTreeView(parent), m_ownerDraw(c.ownerDraw)
    {
        setModel(&rows);
        setProperty("handset_kind", QStringLiteral("listview"));
        setProperty("sorted", c.sort);
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
    int rowCount() const { return rows.rowCount(); }
    int columnCount() const { return rows.columnCount(); }
    // The model index of a shown row's column 0; invalid for a bad row.
    QModelIndex indexOf(int row) const { return rows.index(row, 0); }
    bool isRowSelected(int row) const { return selectionModel() && selectionModel()->isSelected(indexOf(row)); }

    ListModel rows;
    int selectionMark = -1;

    // The row height: the owner's answer for an owner-drawn list (asked
    // again after a move or a new font), else what the rows' text needs.
    int rowHeight()
    {
        if (m_ownerDraw) {
            measure();
            return m_rowHeight;
        }
        return rowCount() > 0 ? std::max(1, sizeHintForRow(0)) : fontMetrics().height() + 4;
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
        const QModelIndex index = indexOf(row);
        if (!index.isValid())
            return {};
        const QRect cell = visualRect(index);
        int width = 0;
        for (int c = 0; c < columnCount(); ++c)
            width += columnWidth(c);
        return QRect(-horizontalOffset(), cell.top(), width, cell.height());
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_ownerDraw) {
            QTreeView::paintEvent(event);
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
            // Only the rows in sight are asked for, from the one at the top.
            const QModelIndex top = indexAt(QPoint(0, 0));
            for (int row = top.isValid() ? top.row() : 0; row < rowCount(); ++row) {
                const QRect r = rowBounds(row);
                if (r.top() > image.height())
                    break;
                if (r.bottom() < 0)
                    continue;
                DRAWITEMSTRUCT dis{};
                dis.CtlType = ODT_LISTVIEW;
                dis.CtlID = static_cast<UINT>(controlId());
                dis.itemID = static_cast<UINT>(row);
                dis.itemAction = ODA_DRAWENTIRE;
                dis.itemState = (isRowSelected(row) ? ODS_SELECTED : 0) |
                                (hasFocus() && current.isValid() && current.row() == row ? ODS_FOCUS : 0);
                dis.hwndItem = self->m_hWnd;
                dis.hDC = hdc;
                dis.rcItem = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
                dis.itemData = static_cast<DWORD_PTR>(rows.rowAt(row)->data);
                ::SendMessage(owner->m_hWnd, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
            }
            window::freeImageContext(hdc);
        }
        QPainter painter(viewport());
        painter.drawImage(0, 0, image);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        QTreeView::mousePressEvent(event);
        const QModelIndex index = indexAt(event->position().toPoint());
        m_pressedRow = index.isValid() ? index.row() : -1;
        if (index.isValid()) {
            setCurrentIndex(index);
            selectionMark = index.row();
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QTreeView::mouseReleaseEvent(event);
        notify(NM_CLICK, m_pressedRow);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            notify(NM_RETURN, -1);
            return;
        }
        QTreeView::keyPressEvent(event);
        // Moving with the keys chooses the row as a tap would.
        const QModelIndex current = currentIndex();
        if (current.isValid() && selectionModel()->isSelected(current))
            selectionMark = current.row();
    }

    void resizeEvent(QResizeEvent* event) override
    {
        remeasure();
        QTreeView::resizeEvent(event);
    }

    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange)
            remeasure();
        QTreeView::changeEvent(event);
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
    // The cells from nCol on move one column to the right, and their widths with them.
    std::vector<int> widths;
    for (int c = 0; c < count; ++c)
        widths.push_back(list->columnWidth(c));
    widths.insert(widths.begin() + nCol, nWidth < 0 ? handset::ui::kDefaultColumnWidth : nWidth);
    const Qt::Alignment align = nFormat == LVCFMT_RIGHT    ? Qt::AlignRight
                                : nFormat == LVCFMT_CENTER ? Qt::AlignHCenter
                                                           : Qt::AlignLeft;
    list->rows.insertColumn(nCol, qstr(lpszColumnHeading), align | Qt::AlignVCenter);
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
    std::vector<int> widths;
    for (int c = 0; c < count; ++c)
        if (c != nCol)
            widths.push_back(list->columnWidth(c));
    list->rows.removeColumn(nCol);
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
    handset::ui::ListModel::Row made;
    made.cells.push_back((pItem->mask & LVIF_TEXT) ? qstr(pItem->pszText) : QString());
    made.data = (pItem->mask & LVIF_PARAM) ? static_cast<qulonglong>(pItem->lParam) : 0;
    const QSignalBlocker quiet(list);
    const int row = list->rows.insertRow(pItem->iItem, std::move(made), list->property("sorted").toBool());
    // Rows after it move down, and the mark with them.
    if (list->selectionMark >= row)
        ++list->selectionMark;
    if (pItem->mask & LVIF_STATE)
        SetItemState(row, pItem->state, pItem->stateMask);
    return row;
}

BOOL CListCtrl::InsertItems(const std::vector<ListRow>& rows)
{
    auto* list = listOf(m_widget);
    if (!list)
        return FALSE;
    std::vector<handset::ui::ListModel::Row> made(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        made[i].cells.push_back(qstr(rows[i].text));
        made[i].data = static_cast<qulonglong>(rows[i].data);
    }
    const QSignalBlocker quiet(list);
    list->rows.appendRows(std::move(made), list->property("sorted").toBool());
    list->selectionMark = -1;
    return TRUE;
}

void CListCtrl::FilterItems(const std::function<bool(DWORD_PTR)>& shown)
{
    auto* list = listOf(m_widget);
    if (!list)
        return;
    const QSignalBlocker quiet(list);
    list->rows.filter(shown);
    list->selectionMark = -1;
}

BOOL CListCtrl::DeleteItem(int nItem)
{
    auto* list = listOf(m_widget);
    if (!list || nItem < 0 || nItem >= list->rowCount())
        return FALSE;
    const QSignalBlocker quiet(list);
    list->rows.removeRow(nItem);
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
    list->rows.clear();
    list->selectionMark = -1;
    return TRUE;
}

int CListCtrl::GetItemCount() const
{
    auto* list = listOf(m_widget);
    return list ? list->rowCount() : 0;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText)
{
    auto* list = listOf(m_widget);
    auto* row = list ? list->rows.rowAt(nItem) : nullptr;
    if (!row || nSubItem < 0 || nSubItem >= list->columnCount())
        return FALSE;
    row->cells[static_cast<std::size_t>(nSubItem)] = qstr(lpszText);
    list->rows.changed(nItem, nSubItem);
    return TRUE;
}

std::u16string CListCtrl::GetItemText(int nItem, int nSubItem) const
{
    auto* list = listOf(m_widget);
    const auto* row = list ? list->rows.rowAt(nItem) : nullptr;
    if (!row || nSubItem < 0 || nSubItem >= list->columnCount())
        return {};
    return ustr(row->cells[static_cast<std::size_t>(nSubItem)]);
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
    auto* row = list ? list->rows.rowAt(nItem) : nullptr;
    if (!row)
        return FALSE;
    row->data = static_cast<qulonglong>(dwData);
    return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const
{
    auto* list = listOf(m_widget);
    const auto* row = list ? list->rows.rowAt(nItem) : nullptr;
    return row ? static_cast<DWORD_PTR>(row->data) : 0;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    auto* list = listOf(m_widget);
    const QModelIndex index = list ? list->indexOf(nItem) : QModelIndex();
    if (!index.isValid())
        return FALSE;
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
    if (!list || !list->indexOf(nItem).isValid())
        return 0;
    UINT state = 0;
    if (list->isRowSelected(nItem))
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
    for (int row = std::max(nItem + 1, 0); row < list->rowCount(); ++row) {
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
    list->selectionMark = iIndex >= 0 && iIndex < list->rowCount() ? iIndex : -1;
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
    const QModelIndex top = list->indexAt(QPoint(0, 0));
    return top.isValid() ? top.row() : 0;
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL)
{
    auto* list = listOf(m_widget);
    const QModelIndex index = list ? list->indexOf(nItem) : QModelIndex();
    if (!index.isValid())
        return FALSE;
    list->scrollTo(index);
    return TRUE;
}

BOOL CListCtrl::GetItemRect(int nItem, LPRECT lpRect, UINT) const
{
    auto* list = listOf(m_widget);
    if (!list || !lpRect || !list->indexOf(nItem).isValid())
        return FALSE;
    const QRect r = list->rowBounds(nItem);
    *lpRect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return TRUE;
}
