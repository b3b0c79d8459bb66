#include "set_category.h"

#include "categories_ids.h"

namespace tonquil {

namespace {

// The play state the preview timer of any category dialog saw last.
int gLastPlayState = wmppsStopped;

// The priority list's items: an item's position is its priority.
constexpr const char16_t* kPriorities[] = {u"Normal", u"VIP", u"Mute"};

}  // namespace

SetCategory::SetCategory(CWnd* pParentWnd)
    : CToneDialog(res::IDD_CATEGORY_SETTINGS, pParentWnd, ids::kCategoryRingSlot, ids::kCategorySmsSlot,
                  TitleForm::Fitted, kCategorySelectTone, gLastPlayState)
{
}

BOOL SetCategory::OnInitDialog()
{
    CToneDialog::OnInitDialog();
    // Without its menu bar the dialog keeps its template as it is, Play and
    // Stop buttons included.
    if (!makeMenuBar(res::IDR_MENU_SETTINGS))
        return TRUE;
    initToneSlots();

    auto* priorities = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CATEGORY_PRIORITY));
    if (priorities) {
        priorities->ResetContent();
        for (int i = 0; i < static_cast<int>(std::size(kPriorities)); ++i)
            priorities->InsertString(i, kPriorities[i]);
        priorities->SetCurSel(0);
    }

    settings::TonePath ring, sms;
    settings::readCategoryRingTone(m_categoryName, ring);
    settings::readCategorySmsTone(m_categoryName, sms);
    m_storedPriority = settings::readCategoryPriority(m_categoryName);
    setSlotPath(RingSlot, ring);
    setSlotPath(SmsSlot, sms);
    // A priority the list does not offer leaves the list without a selection.
    if (priorities)
        priorities->SetCurSel(m_storedPriority);
    valuesShown();
    return TRUE;
}

BOOL SetCategory::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const auto id = static_cast<int>(LOWORD(static_cast<LPARAM>(wParam)));
    if (id == ids::IDC_CATEGORY_PRIORITY && HIWORD(static_cast<LPARAM>(wParam)) == CBN_SELCHANGE) {
        stopPreview();
        return TRUE;
    }
    return CToneDialog::OnCommand(wParam, lParam);
}

void SetCategory::OnOK()
{
    if (refuseUnshownOk())
        return;
    stopPreview();
    // Tones first: they create the category's key, which the priority needs.
    // A failed write has nobody to tell; the dialog closes either way.
    settings::writeCategoryRingTone(m_categoryName, slot(RingSlot).path);
    settings::writeCategorySmsTone(m_categoryName, slot(SmsSlot).path);
    auto* priorities = static_cast<CComboBox*>(GetDlgItem(ids::IDC_CATEGORY_PRIORITY));
    const int chosen = priorities ? priorities->GetCurSel() : CB_ERR;
    // Nothing chosen (a stored priority the list does not offer) keeps the
    // stored value rather than writing the list's "no selection".
    settings::writeCategoryPriority(m_categoryName,
                                    chosen >= 0 ? static_cast<std::uint16_t>(chosen) : m_storedPriority);
    CToneDialog::OnOK();
}

void SetCategory::OnPaint()
{
    paintHeading(m_categoryName, kHeadingHeight);
}

}  // namespace tonquil
