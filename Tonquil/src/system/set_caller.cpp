#include "set_caller.h"

#include <app/dialog_heading.h>
#include <app/menu_bar.h>

#include "system_ids.h"

namespace tonquil {

namespace {

// The play state the preview timer of any caller dialog saw last.
int gLastPlayState = wmppsStopped;

// The stored form of a path: a 255-character buffer and its terminator.
settings::TonePath bounded(const std::u16string& path)
{
    WCHAR buffer[kMaxTonePath + 1] = {};
    const std::size_t n = std::min(path.size(), kMaxTonePath);
    std::copy_n(path.begin(), n, buffer);
    return settings::TonePath(buffer);
}

}  // namespace

CSetCaller::CSetCaller(CWnd* pParentWnd, settings::CallerClass callerClass, std::u16string title)
    : CToneDialog(res::IDD_CALLER_SETTINGS, pParentWnd, ids::kCallerRingSlot, ids::kCallerSmsSlot,
                  TitleForm::Fitted, kSelectTone, gLastPlayState),
      m_callerClass(callerClass), m_title(std::move(title))
{
}

BOOL CSetCaller::OnInitDialog()
{
    CToneDialog::OnInitDialog();
    initToneSlots();

    if (!createMenuBar(*this, res::IDR_MENU_SETTINGS))
        return TRUE;

    settings::TonePath ring, sms;
    settings::readClassRingTone(m_callerClass, ring);
    settings::readClassSmsTone(m_callerClass, sms);
    setSlotPath(RingSlot, ring);
    setSlotPath(SmsSlot, sms);
    return TRUE;
}

BOOL CSetCaller::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(static_cast<LPARAM>(wParam))) {
    case res::ID_REMOVE_RING_TONE:
        removeTone(RingSlot);
        return TRUE;
    case res::ID_REMOVE_SMS_TONE:
        removeTone(SmsSlot);
        return TRUE;
    default:
        return CToneDialog::OnCommand(wParam, lParam);
    }
}

void CSetCaller::OnOK()
{
    stopPreview();
    // A failed write has nobody to tell; the dialog closes either way.
    settings::writeClassRingTone(m_callerClass, bounded(slot(RingSlot).path));
    settings::writeClassSmsTone(m_callerClass, bounded(slot(SmsSlot).path));
    CToneDialog::OnOK();
}

void CSetCaller::OnCancel()
{
    stopPreview();
    CToneDialog::OnCancel();
}

void CSetCaller::OnPaint()
{
    paintDialogHeading(*this, m_title, kHeadingHeight);
}

}  // namespace tonquil
