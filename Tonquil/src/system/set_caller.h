// CSetCaller: the ring tone and SMS tone of one caller class, with the
// class's name painted as the dialog's heading. OK stores both tones; Cancel
// stores nothing.
#pragma once

#include <string>

#include <settings/settings.h>
#include <tones/tone_selector.h>

namespace tonquil {

class CSetCaller : public CToneDialog {
public:
    CSetCaller(CWnd* pParentWnd, settings::CallerClass callerClass, std::u16string title);

    settings::CallerClass callerClass() const { return m_callerClass; }
    const std::u16string& title() const { return m_title; }

    // The Play and Stop bitmaps, the menu bar (148) and, when the bar could
    // be made, the class's two tones.
    BOOL OnInitDialog() override;
    // Remove Ring Tone and Remove SMS Tone, then the tone selector's commands.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnCancel() override;
    // The heading: the title in bold dark blue over a black line.
    void OnPaint() override;

    // The line under the heading.
    static constexpr int kHeadingHeight = 15;

private:
    settings::CallerClass m_callerClass;
    std::u16string m_title;
};

}  // namespace tonquil
