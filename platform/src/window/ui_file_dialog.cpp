// The file-open and save-as dialogs (CFileDialog) and the picture picker
// (GetOpenFileNameEx) over the platform's own picker: a full-screen form of
// the framework that browses the device's file system, as a list of names or
// as thumbnails, or the next scripted answer (handset/pickers.h).
#include <QComboBox>
#include <QEventLoop>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

#include <handset/device.h>
#include <handset/files.h>
#include <handset/log.h>
#include <handset/msgbox.h>
#include <handset/pickers.h>
#include <handset/wstring.h>

#include "ui_internal.h"
#include "window_internal.h"

namespace handset::ui {
namespace {

// The picker's controls, with the ids of the phone's own open dialog.
constexpr int kFolderLabel = 1088;  // stc1
constexpr int kFileList = 1120;     // lst1
constexpr int kTypeCombo = 1136;    // cmb1
constexpr int kNameEdit = 1152;     // edt1: the save-as dialog's file name

// What the list shows for the parent folder; a folder's name ends in a backslash.
const QString kParentRow = QStringLiteral("..");

// The thumbnail view: each picture scaled into a square of this side, in a
// grid of three columns on the phone's 240-pixel screen.
constexpr int kThumbnailSide = 55;
const QSize kThumbnailCell(74, 82);

// The pictures the imaging factory reads, the picture picker's filter.
constexpr char16_t kPictureFilter[] = u"Pictures\0*.jpg;*.jpeg;*.png;*.bmp;*.gif\0";

std::u16string& lastFolder()
{
    static std::u16string folder;
    return folder;
}

std::u16string joinPath(const std::u16string& folder, const std::u16string& name)
{
    return folder == u"\\" ? u"\\" + name : folder + u"\\" + name;
}

std::u16string parentOf(const std::u16string& folder)
{
    const std::size_t cut = folder.find_last_of(u'\\');
    return cut == 0 || cut == std::u16string::npos ? u"\\" : folder.substr(0, cut);
}

// The path with ".ext" added when its file name has no extension.
std::u16string withDefaultExtension(std::u16string path, const std::u16string& extension)
{
    const std::size_t slash = path.find_last_of(u'\\');
    const std::size_t dot = path.find_last_of(u'.');
    if (!extension.empty() && (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)))
        path += u"." + extension;
    return path;
}

bool isFolder(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct FilterEntry {
    QString description;
    std::vector<QRegularExpression> patterns;
};

// The pairs of an OPENFILENAME filter (description, patterns separated by ';').
std::vector<FilterEntry> parseFilter(LPCWSTR filter)
{
    std::vector<FilterEntry> entries;
    while (filter && *filter) {
        FilterEntry entry;
        entry.description = QString::fromUtf16(filter);
        filter += handset::wideLength(filter) + 1;
        if (!*filter)
            break;
        for (const QString& p : QString::fromUtf16(filter).split(u';', Qt::SkipEmptyParts))
            entry.patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(p.trimmed()),
                                        QRegularExpression::CaseInsensitiveOption);
        filter += handset::wideLength(filter) + 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

// A picture's thumbnail: the picture scaled to fit the square, centred on
// white; a grey square for a file that cannot be decoded.
QIcon thumbnailOf(const std::u16string& devicePath)
{
    QPixmap square(kThumbnailSide, kThumbnailSide);
    square.fill(Qt::white);
    QPainter painter(&square);
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    QImageReader reader(host ? QString::fromStdString(host->string()) : QString());
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        // Decoding at the thumbnail's size keeps a folder of big photos quick.
        reader.setScaledSize(size.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (!image.isNull()) {
            painter.drawImage((kThumbnailSide - image.width()) / 2, (kThumbnailSide - image.height()) / 2, image);
            return QIcon(square);
        }
    }
    painter.fillRect(square.rect().adjusted(4, 4, -4, -4), QColor(0xC0, 0xC0, 0xC0));
    return QIcon(square);
}

// The person's picker: a form of its own, modal like every dialog.
class FilePicker : public CWnd {
public:
    enum class View { List, Thumbnails, Save };

    FilePicker(std::u16string title, std::vector<FilterEntry> filters, int filterIndex, std::u16string folder,
               View view, std::u16string name = {}, std::u16string defaultExtension = {}, bool overwritePrompt = false)
        : m_title(std::move(title)), m_filters(std::move(filters)), m_folder(std::move(folder)), m_view(view),
          m_initialName(std::move(name)), m_defaultExtension(std::move(defaultExtension)),
          m_overwritePrompt(overwritePrompt)
    {
        if (m_filters.empty())
            m_filters.push_back({QStringLiteral("All files"), {}});
        m_type = std::clamp(filterIndex, 0, static_cast<int>(m_filters.size()) - 1);
    }

    // The chosen file's full path; empty when the person gave up.
    std::u16string run()
    {
        const std::u16string previousTitle = navigationBarText();
        auto* form = new Form(Form::Kind::Dialog, this);
        form->setWindowTitle(qstr(m_title));
        form->setWindowModality(Qt::ApplicationModal);
        attach(this, form->client(), nullptr, IDC_STATIC);
        form->setCurrentBarOwner(this);
        build(form->client());
        auto menu = std::make_unique<HMENU__>();
        menu->items.push_back({IDOK, u"OK", 0, nullptr});
        menu->items.push_back({IDCANCEL, u"Cancel", 0, nullptr});
        form->addMenuBar(std::make_unique<MenuBar>(form, m_hWnd, std::move(menu)));
        setNavigationBarText(m_title);
        show(m_folder);

        runForm(this, form, m_loop, m_ended, [this] { m_list->setFocus(Qt::OtherFocusReason); });
        detach(this);
        m_controls.clear();
        delete form;
        setNavigationBarText(previousTitle);
        return m_result;
    }

    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        switch (LOWORD(static_cast<LPARAM>(wParam))) {
        case IDOK:
            confirm();
            return TRUE;
        case IDCANCEL:
            end({});
            return TRUE;
        default:
            return FALSE;
        }
    }

private:
    void build(QWidget* client)
    {
        auto* folderLabel = new QLabel(client);
        folderLabel->setGeometry(6, 4, 228, 18);
        folderLabel->setTextFormat(Qt::PlainText);
        m_folderLabel = folderLabel;
        m_list = new QListWidget(client);
        m_list->setSelectionMode(QAbstractItemView::SingleSelection);
        m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* typeLabel = new QLabel(QStringLiteral("Type:"), client);
        typeLabel->setGeometry(6, 240, 40, 20);
        m_types = new QComboBox(client);
        m_types->setGeometry(46, 238, 188, 22);
        for (const FilterEntry& f : m_filters)
            m_types->addItem(f.description);
        m_types->setCurrentIndex(m_type);
        if (m_view == View::Thumbnails) {
            // The pictures fill the form; their one type needs no chooser.
            m_list->setGeometry(4, 24, 232, 236);
            m_list->setViewMode(QListView::IconMode);
            m_list->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
            m_list->setGridSize(kThumbnailCell);
            m_list->setMovement(QListView::Static);
            m_list->setResizeMode(QListView::Adjust);
            m_list->setWordWrap(true);
            m_list->setTextElideMode(Qt::ElideMiddle);
            typeLabel->hide();
            m_types->hide();
        } else if (m_view == View::Save) {
            m_list->setGeometry(4, 24, 232, 178);
            auto* nameLabel = new QLabel(QStringLiteral("Name:"), client);
            nameLabel->setGeometry(6, 212, 40, 20);
            m_name = new QLineEdit(qstr(m_initialName), client);
            m_name->setGeometry(46, 208, 188, 24);
        } else {
            m_list->setGeometry(4, 24, 232, 206);
        }

        std::vector<std::pair<QWidget*, int>> controls = {{folderLabel, kFolderLabel}, {m_list, kFileList}};
        if (m_name)
            controls.emplace_back(m_name, kNameEdit);
        controls.emplace_back(m_types, kTypeCombo);
        for (auto [widget, id] : controls) {
            auto object = std::make_unique<CWnd>();
            attach(object.get(), widget, this, id);
            m_controls.push_back(std::move(object));
        }
        QObject::connect(m_list, &QListWidget::itemClicked, m_list, [this](QListWidgetItem* item) { tapped(item); });
        QObject::connect(m_list, &QListWidget::itemActivated, m_list, [this](QListWidgetItem* item) {
            if (!isFolderRow(item))
                confirm();
        });
        QObject::connect(m_types, qOverload<int>(&QComboBox::activated), m_types, [this](int index) {
            m_type = index;
            show(m_folder);
        });
    }

    static bool isFolderRow(const QListWidgetItem* item)
    {
        return item && (item->text() == kParentRow || item->text().endsWith(u'\\'));
    }

    // Lists a folder: its parent, its folders, then its files of the current type.
    void show(const std::u16string& folder)
    {
        m_folder = folder;
        m_folderLabel->setText(qstr(folder));
        m_list->clear();
        if (folder != u"\\")
            m_list->addItem(kParentRow);
        QStringList folders, files;
        WIN32_FIND_DATA found{};
        HANDLE find = FindFirstFile(joinPath(folder, u"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const QString name = QString::fromUtf16(found.cFileName);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    folders << name + u'\\';
                else if (matchesType(name))
                    files << name;
            } while (FindNextFile(find, &found));
            FindClose(find);
        }
        // In name order, whatever order the file system keeps them in.
        folders.sort(Qt::CaseInsensitive);
        files.sort(Qt::CaseInsensitive);
        m_list->addItems(folders);
        if (m_view != View::Thumbnails) {
            m_list->addItems(files);
            return;
        }
        const QIcon folderIcon = m_list->style()->standardIcon(QStyle::SP_DirIcon);
        for (int i = 0; i < m_list->count(); ++i)
            m_list->item(i)->setIcon(folderIcon);
        for (const QString& name : files)
            m_list->addItem(new QListWidgetItem(thumbnailOf(joinPath(folder, ustr(name))), name));
    }

    bool matchesType(const QString& name) const
    {
        const auto& patterns = m_filters[static_cast<std::size_t>(m_type)].patterns;
        if (patterns.empty())
            return true;
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const QRegularExpression& p) { return p.match(name).hasMatch(); });
    }

    void tapped(QListWidgetItem* item)
    {
        if (!item)
            return;
        if (item->text() == kParentRow)
            show(parentOf(m_folder));
        else if (item->text().endsWith(u'\\'))
            show(joinPath(m_folder, ustr(item->text().chopped(1))));
        else if (m_view == View::Thumbnails)
            end(joinPath(m_folder, ustr(item->text())));  // a tap on a picture is the choice
        else if (m_name)
            m_name->setText(item->text());  // saving over a file starts from its name
        // In the list a file is chosen by the tap; OK confirms it.
    }

    void confirm()
    {
        if (m_name) {
            confirmName();
            return;
        }
        const auto selected = m_list->selectedItems();
        if (selected.isEmpty())
            return;
        if (isFolderRow(selected.front())) {
            tapped(selected.front());
            return;
        }
        end(joinPath(m_folder, ustr(selected.front()->text())));
    }

    // The save-as dialog's OK: the typed name in the folder shown.
    void confirmName()
    {
        const std::u16string name = ustr(m_name->text().trimmed());
        if (name.empty() || name.find_first_of(u"\\/:*?\"<>|") != std::u16string::npos) {
            MessageBox(m_hWnd, u"Type a file name without \\ / : * ? \" < > or |.", m_title.c_str(),
                       MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        const std::u16string path = withDefaultExtension(joinPath(m_folder, name), m_defaultExtension);
        if (isFolder(path)) {
            m_name->clear();
            show(path);
            return;
        }
        if (m_overwritePrompt && GetFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            const std::u16string question = path + u" already exists.\nReplace it?";
            if (MessageBox(m_hWnd, question.c_str(), m_title.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
                return;
        }
        end(path);
    }

    void end(std::u16string result)
    {
        m_result = std::move(result);
        m_ended = true;
        if (m_loop)
            m_loop->quit();
    }

    std::u16string m_title;
    std::vector<FilterEntry> m_filters;
    int m_type = 0;
    std::u16string m_folder;
    View m_view;
    std::u16string m_result;
    bool m_ended = false;
    QEventLoop* m_loop = nullptr;
    QLabel* m_folderLabel = nullptr;
    QListWidget* m_list = nullptr;
    QComboBox* m_types = nullptr;
    QLineEdit* m_name = nullptr;
    std::u16string m_initialName;
    std::u16string m_defaultExtension;
    bool m_overwritePrompt = false;
    std::vector<std::unique_ptr<CWnd>> m_controls;
};

// What a picker asks for, whichever front end asked.
struct PickRequest {
    std::u16string title;
    LPCWSTR filter = nullptr;  // pairs ended by nulls
    int filterIndex = 0;
    std::u16string folder;     // where the person starts
    FilePicker::View view = FilePicker::View::List;
    std::u16string name;       // save: the name offered
    std::u16string defaultExtension;
    bool overwritePrompt = false;
};

// The chosen path, or nothing when cancelled: the next scripted answer,
// else the person at the picker. Either is logged on channel "picker".
std::optional<std::u16string> pick(const PickRequest& request)
{
    const std::string title = "\"" + handset::toUtf8(request.title) + "\": ";
    std::string source;
    if (std::optional<handset::PickerAnswer> answer = handset::nextPickerAnswer(&source)) {
        handset::logLine("picker", title + (answer->cancelled ? std::string("cancel") : handset::toUtf8(answer->path)) +
                                       " (" + source + ")");
        if (answer->cancelled)
            return std::nullopt;
        if (request.view == FilePicker::View::Save)
            return withDefaultExtension(answer->path, request.defaultExtension);
        return answer->path;
    }
    FilePicker picker(request.title, parseFilter(request.filter), request.filterIndex, request.folder, request.view,
                      request.name, request.defaultExtension, request.overwritePrompt);
    std::u16string path = picker.run();
    handset::logLine("picker", title + (path.empty() ? std::string("cancel") : handset::toUtf8(path)) + " (person)");
    if (path.empty())
        return std::nullopt;
    return path;
}

// The first of the folders that exists.
std::u16string firstFolder(std::initializer_list<std::u16string> candidates)
{
    for (const std::u16string& folder : candidates)
        if (!folder.empty() && isFolder(folder))
            return folder;
    return u"\\";
}

// The path into the caller's buffer as far as it holds, as on the phone;
// the offset of its file name.
WORD copyPath(const std::u16string& path, LPWSTR buffer, DWORD capacity)
{
    if (buffer && capacity > 0) {
        const std::size_t n = std::min<std::size_t>(path.size(), capacity - 1);
        std::copy_n(path.begin(), n, buffer);
        buffer[n] = 0;
    }
    const std::size_t cut = path.find_last_of(u'\\');
    return static_cast<WORD>(cut == std::u16string::npos ? 0 : cut + 1);
}

}  // namespace
}  // namespace handset::ui

using namespace handset::ui;

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd* pParentWnd)
    : m_save(!bOpenFileDialog), m_pParentWnd(pParentWnd)
{
    // The framework's form separates with '|'; the picker reads pairs ended by nulls.
    if (lpszFilter) {
        m_filter = lpszFilter;
        std::replace(m_filter.begin(), m_filter.end(), u'|', u'\0');
    }
    m_filter.push_back(u'\0');
    m_fileBuffer.assign(MAX_PATH, 0);
    if (lpszFileName)
        std::copy_n(lpszFileName, std::min<std::size_t>(handset::wideLength(lpszFileName), MAX_PATH - 1),
                    m_fileBuffer.begin());
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    m_ofn.lpstrFilter = lpszFilter ? m_filter.c_str() : nullptr;
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_fileBuffer.data();
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrDefExt = lpszDefExt;
    m_ofn.Flags = dwFlags;
}

CFileDialog::~CFileDialog() = default;

INT_PTR CFileDialog::DoModal()
{
    m_path.clear();
    PickRequest request;
    request.title = m_ofn.lpstrTitle ? m_ofn.lpstrTitle : m_save ? u"Save As" : u"Open";
    request.filter = m_ofn.lpstrFilter;
    request.filterIndex = static_cast<int>(m_ofn.nFilterIndex) - 1;
    request.folder = firstFolder({m_ofn.lpstrInitialDir ? m_ofn.lpstrInitialDir : lastFolder(),
                                  u"\\My Documents\\My Ringtones", u"\\My Documents"});
    if (m_save) {
        // A full path offered as the name also says where to start.
        const std::u16string offered(m_ofn.lpstrFile);
        const std::size_t cut = offered.find_last_of(u'\\');
        if (cut != std::u16string::npos && offered.front() == u'\\')
            request.folder = firstFolder({cut == 0 ? std::u16string(u"\\") : offered.substr(0, cut), request.folder});
        request.name = cut == std::u16string::npos ? offered : offered.substr(cut + 1);
        request.view = FilePicker::View::Save;
        request.defaultExtension = m_ofn.lpstrDefExt ? m_ofn.lpstrDefExt : u"";
        request.overwritePrompt = (m_ofn.Flags & OFN_OVERWRITEPROMPT) != 0;
    }
    const std::optional<std::u16string> chosen = pick(request);
    if (!chosen)
        return IDCANCEL;
    m_path = *chosen;
    lastFolder() = parentOf(m_path);
    // GetPathName gives the path whole.
    m_ofn.nFileOffset = copyPath(m_path, m_ofn.lpstrFile, m_ofn.nMaxFile);
    return IDOK;
}

std::u16string CFileDialog::GetPathName() const
{
    return m_path;
}

std::u16string CFileDialog::GetFileName() const
{
    const std::size_t cut = m_path.find_last_of(u'\\');
    return cut == std::u16string::npos ? m_path : m_path.substr(cut + 1);
}

BOOL GetOpenFileNameEx(OPENFILENAMEEX* ofn)
{
    if (!ofn || ofn->lStructSize < sizeof(OPENFILENAMEEX) || !ofn->lpstrFile || ofn->nMaxFile == 0)
        return FALSE;
    PickRequest request;
    const bool thumbnails = (ofn->ExFlags & OFN_EXFLAG_THUMBNAILVIEW) != 0;
    request.title = ofn->lpstrTitle ? ofn->lpstrTitle : (thumbnails ? u"Select Picture" : u"Open");
    request.filter = ofn->lpstrFilter ? ofn->lpstrFilter : kPictureFilter;
    request.filterIndex = ofn->lpstrFilter ? static_cast<int>(ofn->nFilterIndex) - 1 : 0;
    request.folder = firstFolder({ofn->lpstrInitialDir ? ofn->lpstrInitialDir : u"",
                                  u"\\My Documents\\My Pictures", u"\\My Documents"});
    request.view = thumbnails ? FilePicker::View::Thumbnails : FilePicker::View::List;
    const std::optional<std::u16string> chosen = pick(request);
    if (!chosen)
        return FALSE;
    ofn->nFileOffset = copyPath(*chosen, ofn->lpstrFile, ofn->nMaxFile);
    return TRUE;
}
