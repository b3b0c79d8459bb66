#include "contact_settings_dialog.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <handset/imaging.h>
#include <handset/reg_key.h>
#include <handset/registry.h>
#include <settings/caller.h>

#include <app/tonquil_app.h>

#include "contact_entries.h"
#include "contacts_ids.h"

namespace tonquil {

using handset::ComPtr;

namespace {

// The play state the preview timer of any contact dialog saw last.
int gLastPlayState = wmppsStopped;

constexpr UINT kThumbnailHeight = 55;
// The picture file is copied into the contact in pieces of this size.
constexpr UINT kCopyChunk = 1024;
// The picker's file name buffer: far longer than any device path, so a
// chosen path is never cut into the name of another file.
constexpr DWORD kPictureNameCapacity = 32768;

ComPtr<IImagingFactory> imagingFactory()
{
    ComPtr<IImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                factory.outVoid())))
        factory.reset();
    return factory;
}

}  // namespace

ThumbnailSize fitThumbnail(ThumbnailSize size, UINT pictureWidth, UINT pictureHeight, UINT room)
{
    if (size.width <= room || pictureWidth == 0)
        return size;
    return {room, std::max<UINT>(1, static_cast<UINT>(static_cast<std::uint64_t>(pictureHeight) * room / pictureWidth))};
}

ThumbnailSize thumbnailSize(UINT pictureWidth, UINT pictureHeight)
{
    if (pictureHeight == 0)
        return {0, kThumbnailHeight};
    // The phone computes it in single precision; 400 x 300 gives 73, not 74.
    const float scale = static_cast<float>(pictureHeight) * (1.0f / static_cast<float>(kThumbnailHeight));
    return {static_cast<UINT>(static_cast<float>(pictureWidth) / scale), kThumbnailHeight};
}

CContactSettingsDialog::CContactSettingsDialog(ULONG oid, CWnd* pParentWnd, IPOutlookApp2* contacts)
    : CToneDialog(res::IDD_CONTACT_SETTINGS, pParentWnd, ids::kContactRingSlot, ids::kContactSmsSlot,
                  TitleForm::Plain, kSelectTone, gLastPlayState),
      m_oid(oid), m_contacts(contacts ? contacts : contactsApplication())
{
}

CContactSettingsDialog::~CContactSettingsDialog()
{
    if (m_thumbnail)
        DeleteObject(m_thumbnail);
}

BOOL CContactSettingsDialog::OnInitDialog()
{
    CToneDialog::OnInitDialog();
    initToneSlots();
    if (!makeMenuBar(res::IDR_MENU_CONTACT))
        return TRUE;

    if (!openContact()) {
        MessageBox(m_hWnd, kCannotLoadContact, kApplicationName, MB_OK);
        EndDialog(-1);
        return TRUE;
    }

    // The stored picture; one that cannot be shown leaves the no-picture bitmap.
    ComPtr<IStream> stream;
    ComPtr<IImagingFactory> factory;
    ComPtr<IImage> image;
    if (SUCCEEDED(m_item->OpenProperty(PIMPR_PICTURE, GENERIC_READ, stream.out())) &&
        (factory = imagingFactory()) && SUCCEEDED(factory->CreateImageFromStream(stream.get(), image.out())))
        showThumbnail(image.get());

    auto* priorities = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CONTACT_PRIORITY));
    // A priority no entry stands for selects none; OK then keeps it.
    if (priorities)
        priorities->SetCurSel(m_priority < priorities->GetCount() ? m_priority : CB_ERR);
    m_heading = contactHeading(m_lastName, m_firstName, m_company);
    fillCategories();
    valuesShown();
    return TRUE;
}

bool CContactSettingsDialog::openContact()
{
    if (!m_contacts || FAILED(m_contacts->GetItemFromOidEx(m_oid, 0, m_item.out())) || !m_item)
        return false;
    const NamedContactIds named = namedContactIds(m_contacts);
    const CEPROPID ids[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME,
                            PIMPR_RINGTONE,   named.smsTone,   named.priority};
    // Sized from what the values need: two whole 255-character tone paths,
    // which this dialog itself stores, must never lock the contact out.
    std::vector<BYTE> buffer(kPropBufferBytes);
    const CEPROPVAL* values = settings::readContactProps(m_item.get(), ids, 6, buffer);
    if (!values)
        return false;
    m_firstName = propString(values[0]);
    m_lastName = propString(values[1]);
    m_company = propString(values[2]);
    setSlotPath(RingSlot, propString(values[3]));
    setSlotPath(SmsSlot, propString(values[4]));
    m_priority = (values[5].wFlags & CEDB_PROPNOTFOUND) ? 0 : values[5].val.uiVal;

    // The categories alone, whole however many the contact has: only the
    // first counts, but a long list must not read as none.
    const CEPROPID categories = PIMPR_CATEGORIES;
    if (const CEPROPVAL* value = settings::readContactProps(m_item.get(), &categories, 1, buffer))
        m_category = settings::firstCategory(propString(*value));
    return true;
}

void CContactSettingsDialog::fillCategories()
{
    auto* list = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CONTACT_CATEGORY));
    handset::RegKey key;
    if (!list || RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Categories", 0, 0, key.out()) !=
                     ERROR_SUCCESS)
        return;
    list->ResetContent();
    for (DWORD index = 0;; ++index) {
        WCHAR name[261] = {};
        DWORD length = 261;
        const LONG rc = RegEnumKeyEx(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;  // a name no category can have; the others still come
        if (rc != ERROR_SUCCESS)
            break;     // past the last key, or the key went away: what was read stays
        list->AddString(name);
    }
    // Put at the top after sorting, so that a name sorting before it ("1st")
    // can never take the place that means no category.
    list->InsertString(0, kNoCategory);
    int selected = 0;
    if (!m_category.empty()) {
        const int found = list->FindString(0, m_category.c_str());
        if (found >= 1)
            selected = found;
    }
    list->SetCurSel(selected);
    m_categoryIndex = selected;
}

void CContactSettingsDialog::categoryChosen()
{
    auto* list = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CONTACT_CATEGORY));
    if (!list)
        return;
    const int selected = list->GetCurSel();
    std::u16string name;
    if (selected >= 1)
        list->GetLBText(selected, name);
    // Cut to fit, the name would be another category's: refused here.
    if (name.size() > kMaxCategoryName) {
        MessageBox(m_hWnd, kCategoryTooLong, kApplicationName, MB_OK | MB_ICONEXCLAMATION);
        list->SetCurSel(m_categoryIndex);
        return;
    }
    m_categoryIndex = selected;
}

UINT CContactSettingsDialog::thumbnailRoom()
{
    // Right of the priority and category boxes, so that their arrows stay free to tap.
    int boxesRight = 0;
    for (int id : {ids::IDC_CONTACT_PRIORITY, ids::IDC_CONTACT_CATEGORY}) {
        if (CWnd* box = GetDlgItem(id)) {
            RECT place{};
            box->GetWindowRect(&place);
            ScreenToClient(&place);
            boxesRight = std::max(boxesRight, static_cast<int>(place.right));
        }
    }
    return static_cast<UINT>(std::max(1, kThumbnailRight - boxesRight));
}

bool CContactSettingsDialog::showThumbnail(IImage* image)
{
    auto* picture = static_cast<CStatic*>(GetDlgItem(ids::IDC_CONTACT_PICTURE));
    ImageInfo info{};
    if (!picture || !image || FAILED(image->GetImageInfo(&info)))
        return false;
    const ThumbnailSize size = fitThumbnail(thumbnailSize(info.Width, info.Height), info.Width, info.Height,
                                            thumbnailRoom());
    ComPtr<IImage> thumbnail;
    if (size.width == 0 || FAILED(image->GetThumbnail(size.width, size.height, thumbnail.out())))
        return false;

    CClientDC screen(this);
    const int depth = GetDeviceCaps(screen.m_hDC, BITSPIXEL);
    BITMAPINFO description{};
    description.bmiHeader = {sizeof(BITMAPINFOHEADER), static_cast<LONG>(size.width),
                             static_cast<LONG>(size.height), 1, static_cast<WORD>(depth >= 24 ? depth : 24),
                             BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &description, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = section ? CreateCompatibleDC(nullptr) : nullptr;
    if (!memory) {
        if (section)
            DeleteObject(section);
        return false;
    }
    HGDIOBJ old = SelectObject(memory, section);
    const RECT whole{0, 0, static_cast<LONG>(size.width), static_cast<LONG>(size.height)};
    const HRESULT drawn = thumbnail->Draw(memory, &whole, nullptr);
    SelectObject(memory, old);
    DeleteDC(memory);
    if (FAILED(drawn)) {
        DeleteObject(section);
        return false;
    }
    picture->SetBitmap(section);
    if (m_thumbnail)
        DeleteObject(m_thumbnail);
    m_thumbnail = section;
    picture->MoveWindow(kThumbnailRight - static_cast<int>(size.width), kThumbnailTop, static_cast<int>(size.width),
                        static_cast<int>(size.height));
    return true;
}

void CContactSettingsDialog::choosePicture()
{
    stopPreview();
    std::vector<WCHAR> file(kPictureNameCapacity, 0);
    OPENFILENAMEEX ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPictureNameCapacity;
    ofn.ExFlags = OFN_EXFLAG_THUMBNAILVIEW;
    if (!GetOpenFileNameEx(&ofn))
        return;
    const std::u16string path(file.data());
    if (path.size() >= kPictureNameCapacity - 1)
        return;  // possibly cut: it might name another file

    ComPtr<IImagingFactory> factory = imagingFactory();
    ComPtr<IImage> image;
    if (!factory || FAILED(factory->CreateImageFromFile(path.c_str(), image.out())) || !showThumbnail(image.get()))
        return;
    m_picturePath = path;
    m_pictureChanged = true;
    if (CWnd* picture = GetDlgItem(ids::IDC_CONTACT_PICTURE)) {
        picture->ShowWindow(SW_HIDE);
        picture->ShowWindow(SW_SHOW);
    }
}

void CContactSettingsDialog::removePicture()
{
    m_picturePath.clear();
    m_pictureChanged = true;
    auto* picture = static_cast<CStatic*>(GetDlgItem(ids::IDC_CONTACT_PICTURE));
    if (!picture)
        return;
    CBitmap noPicture;
    BITMAP size{};
    if (!noPicture.LoadBitmap(res::IDB_NO_PICTURE) || !noPicture.GetBitmap(&size))
        return;
    picture->SetBitmap(noPicture);
    if (m_thumbnail) {
        DeleteObject(m_thumbnail);
        m_thumbnail = nullptr;
    }
    picture->MoveWindow(kNoPictureCorner.x - size.bmWidth, kNoPictureCorner.y - size.bmHeight, size.bmWidth,
                        size.bmHeight);
    picture->ShowWindow(SW_HIDE);
    picture->ShowWindow(SW_SHOW);
}

BOOL CContactSettingsDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const WORD code = HIWORD(static_cast<LPARAM>(wParam));
    switch (LOWORD(static_cast<LPARAM>(wParam))) {
    case res::ID_REMOVE_RING_TONE:
        removeTone(RingSlot);
        return TRUE;
    case res::ID_REMOVE_SMS_TONE:
        removeTone(SmsSlot);
        return TRUE;
    case res::ID_REMOVE_PICTURE:
        removePicture();
        return TRUE;
    case ids::IDC_CONTACT_PICTURE:
        if (code == STN_CLICKED)
            choosePicture();
        return TRUE;
    case ids::IDC_CONTACT_CATEGORY:
        if (code == CBN_SELCHANGE)
            categoryChosen();
        return TRUE;
    default:
        return CToneDialog::OnCommand(wParam, lParam);
    }
}

void CContactSettingsDialog::savePicture()
{
    if (!m_pictureChanged || !m_item)
        return;
    ComPtr<IStream> stream;
    ULARGE_INTEGER empty{};
    if (m_picturePath.empty()) {
        if (SUCCEEDED(m_item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, stream.out()))) {
            stream->SetSize(empty);
            stream->Commit(0);
            m_item->Save();
        }
        return;
    }
    // The file's bytes go in unchanged, whatever their format; a file that
    // went away leaves the stored picture as it was.
    CFile file;
    if (!file.Open(m_picturePath.c_str(), CFile::modeRead | CFile::typeBinary) ||
        FAILED(m_item->OpenProperty(PIMPR_PICTURE, GENERIC_WRITE, stream.out())))
        return;
    stream->SetSize(empty);
    BYTE chunk[kCopyChunk];
    // The picture goes in whole or not at all: a stream that takes less than
    // the whole file (the contact's picture has a limit) is never committed,
    // so the stored picture stays as it was.
    bool whole = true;
    for (UINT n = file.Read(chunk, kCopyChunk); n > 0 && whole; n = file.Read(chunk, kCopyChunk)) {
        ULONG written = 0;
        whole = SUCCEEDED(stream->Write(chunk, n, &written)) && written == n;
    }
    if (whole && SUCCEEDED(stream->Commit(0)))
        m_item->Save();
}

void CContactSettingsDialog::saveProperties()
{
    const NamedContactIds named = namedContactIds(m_contacts);
    std::u16string category;
    if (auto* list = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CONTACT_CATEGORY)); list && list->GetCurSel() >= 1)
        list->GetLBText(list->GetCurSel(), category);
    if (auto* priorities = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CONTACT_PRIORITY));
        priorities && priorities->GetCurSel() != CB_ERR)
        m_priority = static_cast<std::uint16_t>(priorities->GetCurSel());

    std::u16string ring = slot(RingSlot).path;
    std::u16string sms = slot(SmsSlot).path;
    CEPROPVAL values[4] = {};
    values[0].propid = PIMPR_RINGTONE;
    values[0].val.lpwstr = ring.data();
    values[1].propid = named.smsTone;
    values[1].val.lpwstr = sms.data();
    values[2].propid = named.priority;
    values[2].val.uiVal = m_priority;
    // One category replaces every category the contact had.
    values[3].propid = PIMPR_CATEGORIES;
    values[3].val.lpwstr = category.data();
    // A failed write has nobody to tell; the dialog closes either way.
    if (m_item && SUCCEEDED(m_item->SetProps(0, 4, values)))
        m_item->Save();
}

void CContactSettingsDialog::OnOK()
{
    if (refuseUnshownOk())
        return;
    savePicture();
    saveProperties();
    CToneDialog::OnOK();
}

void CContactSettingsDialog::OnCancel()
{
    // A preview still playing goes on until the dialog object, and with it
    // the player, is destroyed: Cancel only closes.
    CDialog::OnCancel();
}

void CContactSettingsDialog::OnPaint()
{
    paintHeading(m_heading, kHeadingHeight);
}

}  // namespace tonquil
