#include "set_caller.h"

#include "system_ids.h"

namespace tonquil {

namespace {

// The play state the preview timer of any caller dialog saw last.
int gLastPlayState = wmppsStopped;

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

    if (!makeMenuBar(res::IDR_MENU_SETTINGS))
        return TRUE;

    settings::TonePath ring, sms;
    settings::readClassRingTone(m_callerClass, ring);
    settings::readClassSmsTone(m_callerClass, sms);
    setSlotPath(RingSlot, ring);
    setSlotPath(SmsSlot, sms);
    valuesShown();
    return TRUE;
}

void CSetCaller::OnOK()
{
    if (refuseUnshownOk())
        return;
    stopPreview();
    // The paths are whole: a file whose path is too long to store is refused
    // when it is chosen, never cut here to name another file. A failed write
    // has nobody to tell; the dialog closes either way.
    settings::writeClassRingTone(m_callerClass, slot(RingSlot).path);
    settings::writeClassSmsTone(m_callerClass, slot(SmsSlot).path);
    CToneDialog::OnOK();
}

void CSetCaller::OnPaint()
{
    paintHeading(m_title, kHeadingHeight);
}

}  // namespace tonquil
