#include "call_screen.h"

#include <algorithm>
#include <cstdint>

#include <handset/com_ptr.h>
#include <handset/imaging.h>
#include <handset/log.h>
#include <handset/radio.h>
#include <handset/tapi.h>
#include <handset/wstring.h>

#include "phone_ids.h"

namespace phone {

namespace {

using handset::ComPtr;

constexpr LONG kNameFontHeight = -18;

void log(std::uint32_t callId, const std::string& text)
{
    handset::logLine("phone", "call " + std::to_string(callId) + ": " + text);
}

std::u16string kindWord(const std::u16string& kind)
{
    if (kind == u"m")
        return u"Mobile";
    if (kind == u"w")
        return u"Work";
    if (kind == u"h")
        return u"Home";
    return {};
}

bool blank(const std::u16string& text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c == u' ' || c == u'\t'; });
}

}  // namespace

CallerShown callerShown(const std::optional<std::u16string>& callerId)
{
    CallerShown shown;
    // The network sent no caller ID at all (the caller withheld it, or the
    // network has none): the phone says so. A caller ID without a number
    // in it names nobody the phone could know.
    if (!callerId) {
        shown.name = u"No caller ID";
        return shown;
    }
    if (blank(*callerId)) {
        shown.name = u"Unknown";
        return shown;
    }
    const auto contact = handset::radio::findCallerContact(*callerId, true);
    if (!contact || contact->name.empty()) {
        shown.name = *callerId;
        return shown;
    }
    shown.name = contact->name;
    const std::u16string kind = kindWord(contact->numberKind);
    shown.number = kind.empty() ? *callerId : kind + u": " + *callerId;
    shown.picture = contact->picture;
    return shown;
}

SIZE fitPicture(UINT width, UINT height, UINT box)
{
    if (width == 0 || height == 0)
        return {0, 0};
    const std::uint64_t longer = std::max(width, height);
    const auto scaled = [&](UINT side) {
        return static_cast<LONG>(std::max<std::uint64_t>(1, (std::uint64_t{side} * box + longer / 2) / longer));
    };
    return {scaled(width), scaled(height)};
}

CCallScreen::CCallScreen(std::uint32_t callId, CallerShown caller)
    : CDialog(ids::IDD_CALL_SCREEN), m_callId(callId), m_caller(std::move(caller))
{
}

CCallScreen::~CCallScreen()
{
    if (m_follower.joinable())
        m_follower.join();
    if (m_picture)
        DeleteObject(m_picture);
}

BOOL CCallScreen::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The soft keys say what can be done with the call; the navigation
    // bar's close button only puts the screen away.
    SHDoneButton(m_hWnd, SHDB_HIDE);
    showSoftKeys(ids::IDR_MENU_RINGING);

    if (CWnd* name = GetDlgItem(ids::IDC_CALLER_NAME)) {
        name->SetWindowText(m_caller.name.c_str());
        LOGFONTW description{};
        if (name->GetFont() && name->GetFont()->GetLogFont(&description)) {
            description.lfHeight = kNameFontHeight;
            description.lfWeight = FW_BOLD;
            description.lfQuality = ANTIALIASED_QUALITY;
            if (m_nameFont.CreateFontIndirect(&description))
                name->SetFont(&m_nameFont);
        }
    }
    if (CWnd* number = GetDlgItem(ids::IDC_CALLER_NUMBER)) {
        number->SetWindowText(m_caller.number.c_str());
        number->ShowWindow(m_caller.number.empty() ? SW_HIDE : SW_SHOW);
    }
    if (!m_caller.picture.empty() && !showPicture())
        log(m_callId, "the caller's picture cannot be shown");
    log(m_callId, "showing \"" + handset::toUtf8(m_caller.name) + "\"" +
                      (m_picture ? " with the contact's picture" : ""));

    // The call is followed on a thread of its own, as the radio tells how
    // it goes on only to whoever waits for it.
    const HWND screen = m_hWnd;
    const std::uint32_t callId = m_callId;
    m_follower = std::thread([screen, callId] {
        if (handset::radio::watchRinging(callId) == handset::radio::RingingEnd::Answered) {
            ::PostMessage(screen, ids::WM_CALL_CONNECTED, 0, 0);
            handset::radio::watchCall(callId);
        }
        ::PostMessage(screen, ids::WM_CALL_ENDED, 0, 0);
    });
    return FALSE;  // no control takes the focus: the soft keys act
}

void CCallScreen::showSoftKeys(UINT menu)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = m_hWnd;
    bar.nToolBarId = menu;
    bar.hInstRes = AfxGetInstanceHandle();
    if (!SHCreateMenuBar(&bar))
        log(m_callId, "the soft keys cannot be shown (menu " + std::to_string(menu) + ")");
}

// The contact's picture, scaled into the picture's box with its
// proportions kept and centred in it.
bool CCallScreen::showPicture()
{
    auto* control = static_cast<CStatic*>(GetDlgItem(ids::IDC_CALLER_PICTURE));
    if (!control)
        return false;
    ComPtr<IImagingFactory> factory;
    ComPtr<IImage> image;
    ImageInfo info{};
    if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                factory.outVoid())) ||
        FAILED(factory->CreateImageFromBuffer(m_caller.picture.data(), static_cast<UINT>(m_caller.picture.size()),
                                              BufferDisposalFlagNone, image.out())) ||
        FAILED(image->GetImageInfo(&info)))
        return false;
    RECT box{};
    control->GetWindowRect(&box);
    ScreenToClient(&box);
    const UINT side = static_cast<UINT>(std::min(box.right - box.left, box.bottom - box.top));
    const SIZE size = fitPicture(info.Width, info.Height, side);
    if (size.cx == 0)
        return false;

    BITMAPINFO description{};
    description.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, size.cy, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &description, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = section ? CreateCompatibleDC(nullptr) : nullptr;
    if (!memory) {
        if (section)
            DeleteObject(section);
        return false;
    }
    HGDIOBJ old = SelectObject(memory, section);
    const RECT whole{0, 0, size.cx, size.cy};
    const HRESULT drawn = image->Draw(memory, &whole, nullptr);
    SelectObject(memory, old);
    DeleteDC(memory);
    if (FAILED(drawn)) {
        DeleteObject(section);
        return false;
    }
    control->SetBitmap(section);
    m_picture = section;
    control->MoveWindow(box.left + (box.right - box.left - size.cx) / 2, box.top + (box.bottom - box.top - size.cy) / 2,
                        size.cx, size.cy);
    control->ShowWindow(SW_SHOW);
    return true;
}

void CCallScreen::showConnected()
{
    if (CWnd* state = GetDlgItem(ids::IDC_CALL_STATE))
        state->SetWindowText(u"Connected");
    showSoftKeys(ids::IDR_MENU_CONNECTED);
    log(m_callId, "connected");
}

BOOL CCallScreen::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // The soft keys do what the phone's user does with the call, as
    // `handset answer`, `reject` and `hangup` do; the screen changes once
    // the radio says the call has.
    LONG (*action)() = nullptr;
    const char* name = nullptr;
    switch (LOWORD(wParam)) {
    case ids::ID_ANSWER:
        action = handset::radio::answerCall;
        name = "Answer";
        break;
    case ids::ID_IGNORE:
        action = handset::radio::rejectCall;
        name = "Ignore";
        break;
    case ids::ID_END:
        action = handset::radio::hangUpCall;
        name = "End";
        break;
    default:
        return CDialog::OnCommand(wParam, lParam);
    }
    const LONG status = action();
    if (status == 0)
        log(m_callId, name);
    else if (status == LINEERR_INVALCALLSTATE)
        log(m_callId, std::string(name) + ": the call is no longer in that state");
    else
        log(m_callId, std::string(name) + ": the radio did not answer (error " + std::to_string(status) + ")");
    return TRUE;
}

LRESULT CCallScreen::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ids::WM_CALL_CONNECTED) {
        showConnected();
        return 0;
    }
    if (message == ids::WM_CALL_ENDED) {
        log(m_callId, "ended; the call screen closes");
        EndDialog(IDOK);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

}  // namespace phone
