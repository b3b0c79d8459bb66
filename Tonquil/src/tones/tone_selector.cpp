#include "tone_selector.h"

#include <algorithm>

#include <handset/msgbox.h>
#include <settings/settings.h>

#include <app/menu_bar.h>
#include <resource.h>

namespace tonquil {

namespace {

// The filter of the file picker: one entry, its description and the five patterns.
constexpr const char16_t* kAudioFilter = u"Audio files |*.wav;*.mp3;*.wma;*.mid;*.midi||";

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

std::u16string afterLastBackslash(const std::u16string& path)
{
    const std::size_t cut = path.find_last_of(u'\\');
    return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::u16string toneTitle(const std::u16string& path)
{
    return path.empty() ? kSelectTone : afterLastBackslash(path);
}

std::u16string toneTitle(const std::u16string& path, CWnd& button, const std::u16string& placeholder)
{
    std::u16string copy = path;
    while (!copy.empty() && isSpace(copy.back()))
        copy.pop_back();
    copy.erase(copy.begin(), std::find_if(copy.begin(), copy.end(), [](char16_t c) { return !isSpace(c); }));
    if (copy.empty())
        return placeholder;
    std::u16string text = afterLastBackslash(copy);
    // Measured in the button's own context with the button's own font.
    CClientDC dc(&button);
    HGDIOBJ old = dc.SelectObject(button.GetFont());
    RECT client{};
    button.GetClientRect(&client);
    const LONG room = client.right - client.left - 3;
    while (!text.empty() && dc.GetTextExtent(text).cx >= room)
        text.pop_back();
    if (old)
        dc.SelectObject(old);
    return text;
}

CToneDialog::CToneDialog(UINT nIDTemplate, CWnd* pParentWnd, ToneSlotIds ring, ToneSlotIds sms, TitleForm form,
                         std::u16string placeholder, int& lastPlayState)
    : CDialog(nIDTemplate, pParentWnd), m_form(form), m_placeholder(std::move(placeholder)),
      m_lastPlayState(lastPlayState)
{
    m_slots[RingSlot].ids = ring;
    m_slots[SmsSlot].ids = sms;
    void* player = nullptr;
    // Without a player the dialog still works; it only cannot preview.
    if (CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer, &player) == S_OK)
        m_player = static_cast<IWMPPlayer*>(player);
}

CToneDialog::~CToneDialog()
{
    if (m_player)
        m_player->Release();
}

void CToneDialog::initToneSlots()
{
    using namespace res;
    for (ToneSlot& s : m_slots) {
        s.toneButton = GetDlgItem(s.ids.toneButton);
        if (s.play.SubclassDlgItem(static_cast<UINT>(s.ids.play), this))
            s.play.LoadBitmaps(IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_FOCUS, IDB_PLAY);
        if (s.stop.SubclassDlgItem(static_cast<UINT>(s.ids.stop), this))
            s.stop.LoadBitmaps(IDB_STOP, IDB_STOP_PRESSED, IDB_STOP_FOCUS, IDB_STOP);
    }
}

std::u16string CToneDialog::titleFor(SlotIndex index, const std::u16string& path)
{
    CWnd* button = m_slots[index].toneButton;
    if (m_form == TitleForm::Fitted && button)
        return toneTitle(path, *button, m_placeholder);
    return toneTitle(path);
}

void CToneDialog::setSlotPath(SlotIndex index, const std::u16string& path)
{
    ToneSlot& s = m_slots[index];
    s.path = path;
    if (s.toneButton)
        s.toneButton->SetWindowText(titleFor(index, path).c_str());
}

void CToneDialog::chooseTone(SlotIndex index)
{
    stopPreview();
    CFileDialog picker(TRUE, nullptr, nullptr, 0, kAudioFilter, this);
    if (picker.DoModal() != IDOK)
        return;
    const std::u16string chosen = picker.GetPathName();
    // A path cut to fit would name another file: such a file is refused,
    // and the slot keeps what it had.
    if (chosen.size() > kMaxTonePath) {
        MessageBox(m_hWnd, kPathTooLong, kApplicationName, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    setSlotPath(index, chosen);
}

void CToneDialog::startPreview(SlotIndex index)
{
    stopPreview();
    const std::u16string& path = m_slots[index].path;
    if (path.empty() || path.size() > kMaxTonePath)
        return;
    WCHAR url[kMaxTonePath + 1] = {};
    std::copy(path.begin(), path.end(), url);
    if (settings::isMidiPath(path) && !settings::isMidiRegistered()) {
        MessageBox(m_hWnd, kMidiNotice, kApplicationName, MB_OK);
        return;
    }
    if (m_player)
        m_player->put_URL(url);
    ToneSlot& s = m_slots[index];
    s.play.ShowWindow(SW_HIDE);
    s.stop.ShowWindow(SW_SHOW);
    s.stop.SetFocus();
    SetTimer(kPreviewTimer, kPreviewPeriod);
}

void CToneDialog::showIdle()
{
    for (ToneSlot& s : m_slots) {
        s.play.ShowWindow(SW_SHOW);
        s.stop.ShowWindow(SW_HIDE);
    }
}

void CToneDialog::stopPreview()
{
    showIdle();
    if (m_player) {
        IWMPControls* controls = nullptr;
        if (m_player->get_controls(&controls) == S_OK && controls) {
            controls->stop();
            controls->Release();
        }
    }
    m_lastPlayState = wmppsStopped;
}

void CToneDialog::previewTick()
{
    if (!m_player)
        return;
    WMPPlayState state = wmppsUndefined;
    m_player->get_playState(&state);
    // Play comes back only once the timer has seen the tone playing and
    // then not playing: a file that never plays keeps Stop shown.
    if (m_lastPlayState == wmppsPlaying && state != wmppsPlaying) {
        showIdle();
        KillTimer(kPreviewTimer);
    }
    m_lastPlayState = state;
}

void CToneDialog::removeTone(SlotIndex index)
{
    // Every dialog shows the same placeholder after Remove, whatever its
    // own placeholder when it opened.
    m_slots[index].path.clear();
    if (CWnd* button = m_slots[index].toneButton)
        button->SetWindowText(kSelectTone);
}

BOOL CToneDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(static_cast<LPARAM>(wParam));
    if (id == static_cast<int>(res::ID_REMOVE_RING_TONE) || id == static_cast<int>(res::ID_REMOVE_SMS_TONE)) {
        removeTone(id == static_cast<int>(res::ID_REMOVE_RING_TONE) ? RingSlot : SmsSlot);
        return TRUE;
    }
    for (SlotIndex index : {RingSlot, SmsSlot}) {
        ToneSlot& s = m_slots[index];
        if (id == s.ids.toneButton) {
            chooseTone(index);
            return TRUE;
        }
        if (id == s.ids.play) {
            startPreview(index);
            return TRUE;
        }
        if (id == s.ids.stop) {
            stopPreview();
            s.play.SetFocus();
            return TRUE;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}

HWND CToneDialog::makeMenuBar(UINT menuId)
{
    return createMenuBar(*this, menuId);
}

bool CToneDialog::refuseUnshownOk()
{
    if (m_valuesShown)
        return false;
    OnCancel();
    return true;
}

void CToneDialog::OnCancel()
{
    stopPreview();
    CDialog::OnCancel();
}

void CToneDialog::paintHeading(const std::u16string& text, int height)
{
    CPaintDC dc(this);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);

    LOGFONTW description{};
    CFont* current = dc.GetCurrentFont();
    CFont bold;
    HGDIOBJ oldFont = nullptr;
    if (current && current->GetLogFont(&description)) {
        description.lfWeight = FW_BOLD;
        if (bold.CreateFontIndirect(&description))
            oldFont = dc.SelectObject(&bold);
    }
    dc.SetTextColor(kHeadingColour);
    RECT band{8, 0, screenWidth, height};
    dc.DrawText(text, &band, DT_SINGLELINE | DT_VCENTER);
    if (oldFont)
        dc.SelectObject(oldFont);

    CPen black(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ oldPen = dc.SelectObject(&black);
    dc.MoveTo(0, height);
    dc.LineTo(screenWidth, height);
    dc.SelectObject(oldPen);
}

void CToneDialog::OnTimer(UINT_PTR nIDEvent)
{
    previewTick();
    CDialog::OnTimer(nIDEvent);
}

}  // namespace tonquil
