// The framework's controls: static labels and pictures, buttons, combo boxes,
// list boxes and time pickers, each over its Qt widget; and its read-only
// file class.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTimeEdit>
#include <QVariant>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/process.h>

#include "ui_internal.h"
#include "window_internal.h"

using handset::ui::qstr;
using handset::ui::ustr;

namespace {

QString qtTimeFormat(std::u16string_view format)
{
    // The picker's letters are Qt's for hours and minutes; "tt"/"t" are its AM/PM marks.
    QString f = QString::fromUtf16(format.data(), static_cast<qsizetype>(format.size()));
    f.replace(QStringLiteral("tt"), QStringLiteral("AP"));
    f.replace(QRegularExpression(QStringLiteral("(?<!A)t")), QStringLiteral("A"));
    return f;
}

int findSorted(const QStringList& texts, const QString& text)
{
    // In text order, case-insensitive, after the items that compare equal.
    int index = 0;
    while (index < texts.size() && QString::compare(texts[index], text, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

// Sees a label's mouse events: a press and then a release inside it is a tap.
class TapFilter : public QObject {
public:
    TapFilter(QLabel* label, std::function<void()> onTap) : QObject(label), onTap_(std::move(onTap)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* label = static_cast<QLabel*>(parent());
        if (watched != label)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            pressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::MouseButtonRelease && pressed_) {
            pressed_ = false;
            if (label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                onTap_();
        }
        return false;
    }

private:
    std::function<void()> onTap_;
    bool pressed_ = false;
};

}  // namespace

namespace handset::ui {

void reportTaps(QLabel* label, std::function<void()> onTap)
{
    label->installEventFilter(new TapFilter(label, std::move(onTap)));
}

}  // namespace handset::ui

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    auto* label = qobject_cast<QLabel*>(m_widget);
    if (!label)
        return nullptr;
    auto previous = reinterpret_cast<HBITMAP>(label->property("handset_bitmap").value<void*>());
    const QImage* image = handset::window::bitmapImage(bitmap);
    label->setPixmap(image ? QPixmap::fromImage(*image) : QPixmap());
    label->setProperty("handset_bitmap", QVariant::fromValue<void*>(bitmap));
    return previous;
}

int CButton::GetCheck() const
{
    auto* button = qobject_cast<QAbstractButton*>(m_widget);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck)
{
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget))
        button->setChecked(nCheck == BST_CHECKED);
}

namespace {

QComboBox* comboOf(QWidget* w)
{
    return qobject_cast<QComboBox*>(w);
}
QListWidget* listOf(QWidget* w)
{
    return qobject_cast<QListWidget*>(w);
}
bool sorted(QWidget* w)
{
    return w && w->property("sorted").toBool();
}

}  // namespace

int CComboBox::AddString(LPCWSTR text)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || !text)
        return CB_ERR;
    int index = combo->count();
    if (sorted(combo)) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        index = findSorted(texts, qstr(text));
    }
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->insertItem(index, qstr(text));
    // A combo box shows nothing until something is selected, as on the phone.
    combo->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

int CComboBox::InsertString(int index, LPCWSTR text)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || !text || index > combo->count())
        return CB_ERR;
    if (index < 0)
        index = combo->count();
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->insertItem(index, qstr(text));
    combo->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

int CComboBox::DeleteString(UINT index)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || static_cast<int>(index) >= combo->count())
        return CB_ERR;
    const QSignalBlocker quiet(combo);
    combo->removeItem(static_cast<int>(index));
    return combo->count();
}

void CComboBox::ResetContent()
{
    if (QComboBox* combo = comboOf(m_widget)) {
        const QSignalBlocker quiet(combo);
        combo->clear();
    }
}

int CComboBox::GetCount() const
{
    QComboBox* combo = comboOf(m_widget);
    return combo ? combo->count() : CB_ERR;
}

int CComboBox::GetCurSel() const
{
    QComboBox* combo = comboOf(m_widget);
    return combo && combo->currentIndex() >= 0 ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo)
        return CB_ERR;
    const QSignalBlocker quiet(combo);
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CComboBox::GetLBText(int index, std::u16string& text) const
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    text = ustr(combo->itemText(index));
    return static_cast<int>(text.size());
}

DWORD_PTR CComboBox::GetItemData(int index) const
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return static_cast<DWORD_PTR>(CB_ERR);
    return static_cast<DWORD_PTR>(combo->itemData(index).toULongLong());
}

int CComboBox::SetItemData(int index, DWORD_PTR data)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data));
    return 0;
}

int CComboBox::FindString(int nStartAfter, LPCWSTR lpszString) const
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || !lpszString || combo->count() == 0)
        return CB_ERR;
    const int count = combo->count();
    const QString prefix = qstr(lpszString);
    const int first = nStartAfter < 0 || nStartAfter >= count ? 0 : nStartAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int index = (first + n) % count;
        if (combo->itemText(index).startsWith(prefix, Qt::CaseInsensitive))
            return index;
    }
    return CB_ERR;
}

LRESULT CComboBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == CB_FINDSTRING)
        return FindString(static_cast<int>(wParam), reinterpret_cast<LPCWSTR>(lParam));
    return CWnd::WindowProc(message, wParam, lParam);
}

int CListBox::AddString(LPCWSTR text)
{
    QListWidget* list = listOf(m_widget);
    if (!list || !text)
        return LB_ERR;
    int index = list->count();
    if (sorted(list)) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        index = findSorted(texts, qstr(text));
    }
    const QSignalBlocker quiet(list);
    list->insertItem(index, qstr(text));
    return index;
}

int CListBox::InsertString(int index, LPCWSTR text)
{
    QListWidget* list = listOf(m_widget);
    if (!list || !text || index > list->count())
        return LB_ERR;
    if (index < 0)
        index = list->count();
    const QSignalBlocker quiet(list);
    list->insertItem(index, qstr(text));
    return index;
}

int CListBox::DeleteString(UINT index)
{
    QListWidget* list = listOf(m_widget);
    if (!list || static_cast<int>(index) >= list->count())
        return LB_ERR;
    const QSignalBlocker quiet(list);
    delete list->takeItem(static_cast<int>(index));
    return list->count();
}

void CListBox::ResetContent()
{
    if (QListWidget* list = listOf(m_widget)) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
}

int CListBox::GetCount() const
{
    QListWidget* list = listOf(m_widget);
    return list ? list->count() : LB_ERR;
}

int CListBox::GetCurSel() const
{
    QListWidget* list = listOf(m_widget);
    if (!list)
        return LB_ERR;
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? LB_ERR : list->row(selected.front());
}

int CListBox::SetCurSel(int index)
{
    QListWidget* list = listOf(m_widget);
    if (!list)
        return LB_ERR;
    const QSignalBlocker quiet(list);
    if (index < 0 || index >= list->count()) {
        list->clearSelection();
        list->setCurrentRow(-1);
        return LB_ERR;
    }
    list->setCurrentRow(index);
    return index;
}

int CListBox::GetText(int index, std::u16string& text) const
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return LB_ERR;
    text = ustr(list->item(index)->text());
    return static_cast<int>(text.size());
}

DWORD_PTR CListBox::GetItemData(int index) const
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return static_cast<DWORD_PTR>(LB_ERR);
    return static_cast<DWORD_PTR>(list->item(index)->data(Qt::UserRole).toULongLong());
}

int CListBox::SetItemData(int index, DWORD_PTR data)
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return LB_ERR;
    list->item(index)->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(data));
    return 0;
}

BOOL CDateTimeCtrl::SetFormat(LPCWSTR format)
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !format)
        return FALSE;
    edit->setDisplayFormat(qtTimeFormat(format));
    return TRUE;
}

DWORD CDateTimeCtrl::GetTime(LPSYSTEMTIME time) const
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !time)
        return static_cast<DWORD>(-1);
    const QDateTime when = edit->dateTime();
    *time = {};
    time->wYear = static_cast<WORD>(when.date().year());
    time->wMonth = static_cast<WORD>(when.date().month());
    time->wDay = static_cast<WORD>(when.date().day());
    time->wDayOfWeek = static_cast<WORD>(when.date().dayOfWeek() % 7);
    time->wHour = static_cast<WORD>(when.time().hour());
    time->wMinute = static_cast<WORD>(when.time().minute());
    return GDT_VALID;
}

BOOL CDateTimeCtrl::SetTime(const SYSTEMTIME* time)
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !time || time->wHour > 23 || time->wMinute > 59)
        return FALSE;
    edit->setTime(QTime(time->wHour, time->wMinute));
    return TRUE;
}

CFile::~CFile()
{
    Close();
}

BOOL CFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags)
{
    Close();
    if ((nOpenFlags & (modeWrite | modeReadWrite | modeCreate)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto path = lpszFileName ? handset::mapDevicePath(lpszFileName) : std::nullopt;
    if (!path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool denied = fd < 0 && errno == EACCES;
        if (fd >= 0)
            ::close(fd);
        SetLastError(denied ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    m_fd = fd;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (m_fd < 0 || !lpBuf)
        return 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, lpBuf, nCount);
        if (n >= 0)
            return static_cast<UINT>(n);
        if (errno != EINTR)
            return 0;
    }
}

ULONGLONG CFile::GetLength() const
{
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return 0;
    return static_cast<ULONGLONG>(info.st_size);
}

void CFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

CWaitCursor::CWaitCursor()
{
    handset::ui::ensureApplication();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CWaitCursor::~CWaitCursor()
{
    QApplication::restoreOverrideCursor();
}
