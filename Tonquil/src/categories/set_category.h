// SetCategory: the ring tone, SMS tone and priority of one contact category,
// with the category's name painted as the dialog's heading. OK stores all
// three; Cancel stores nothing.
#pragma once

#include <cstdint>
#include <string>

#include <settings/settings.h>
#include <tones/tone_selector.h>

namespace tonquil {

// The tone buttons' text for a category without a tone when the dialog opens.
inline constexpr const char16_t* kCategorySelectTone = u"<select tone>";

class SetCategory : public CToneDialog {
public:
    explicit SetCategory(CWnd* pParentWnd = nullptr);

    // The category the dialog edits: set before the dialog runs.
    void setCategoryName(std::u16string name) { m_categoryName = std::move(name); }
    const std::u16string& categoryName() const { return m_categoryName; }

    // The Play and Stop bitmaps, the menu bar (148) and, when the bar could
    // be made, the priorities and the category's settings.
    BOOL OnInitDialog() override;
    // A new priority stops the preview; the rest are the tone selector's.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    // The heading: the category's name in bold dark blue over a black line.
    void OnPaint() override;

    static constexpr int kHeadingHeight = 15;

private:
    std::u16string m_categoryName;
    // The stored priority, kept when it is none the list offers and the
    // user chooses none.
    std::uint16_t m_storedPriority = settings::PriorityNormal;
};

}  // namespace tonquil
