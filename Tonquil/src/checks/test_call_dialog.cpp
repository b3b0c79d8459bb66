#include "test_call_dialog.h"

#include <app/menu_bar.h>
#include <app/tonquil_app.h>
#include <handset/com_ptr.h>
#include <handset/wstring.h>
#include <profiles/bold_heading.h>

#include "call_test.h"
#include "checks_ids.h"

namespace tonquil {

namespace {

// The contact list dropped down shows about eight names.
constexpr int kDroppedHeight = 160;

std::u16string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return handset::fromUtf8(text);
}

}  // namespace

CTestCallDialog::CTestCallDialog(CWnd* pParent, IPOutlookApp2* contacts)
    : CDialog(res::IDD_TEST_CALL, pParent), m_contacts(contacts ? contacts : contactsApplication())
{
}

BOOL CTestCallDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    createMenuBar(*this, res::IDR_MENU_DONE);
    setBoldHeadings(*this, ids::IDC_TEST_CALL_HEADING, {ids::IDC_TEST_CALL_HEADING, ids::IDC_TEST_SMS_HEADING},
                    m_boldFont);

    if (auto* combo = static_cast<CComboBox*>(GetDlgItem(ids::IDC_TEST_CONTACT))) {
        RECT place{};
        combo->GetWindowRect(&place);
        ScreenToClient(&place);
        combo->MoveWindow(place.left, place.top, place.right - place.left, kDroppedHeight);
        m_entries = buildContactEntries(m_contacts);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            const ContactEntry& entry = m_entries[i];
            std::u16string name = contactHeading(entry.lastName, entry.firstName, entry.company);
            const int item = combo->AddString(name.empty() ? u"(no name)" : name.c_str());
            if (item >= 0)
                combo->SetItemData(item, i);
        }
    }
    showAnswer();

    SHSetNavBarText(m_hWnd, u"Test a Call");
    if (CWnd* number = GetDlgItem(ids::IDC_TEST_NUMBER))
        number->SetFocus();
    return FALSE;  // the focus is set
}

BOOL CTestCallDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(static_cast<LPARAM>(wParam));
    const UINT code = HIWORD(static_cast<LPARAM>(wParam));
    if (id == ids::IDC_TEST_NUMBER && code == EN_CHANGE) {
        // A number typed over a chosen contact's is no longer that contact's.
        if (!m_settingNumber)
            if (auto* combo = static_cast<CComboBox*>(GetDlgItem(ids::IDC_TEST_CONTACT)))
                combo->SetCurSel(-1);
        showAnswer();
        return TRUE;
    }
    if (id == ids::IDC_TEST_CONTACT && code == CBN_SELCHANGE) {
        contactChosen();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void CTestCallDialog::contactChosen()
{
    auto* combo = static_cast<CComboBox*>(GetDlgItem(ids::IDC_TEST_CONTACT));
    const int item = combo ? combo->GetCurSel() : CB_ERR;
    if (item < 0)
        return;
    const std::size_t index = combo->GetItemData(item);
    if (index >= m_entries.size() || !m_contacts)
        return;
    handset::ComPtr<IItem> contact;
    std::u16string number;
    if (SUCCEEDED(m_contacts->GetItemFromOidEx(m_entries[index].oid, 0, contact.out())))
        number = firstPhoneNumber(contact.get());
    // The contact's number stands in the number box, so the user sees what
    // was tested; a contact without a number is tested as no caller ID.
    m_settingNumber = true;
    if (CWnd* box = GetDlgItem(ids::IDC_TEST_NUMBER))
        box->SetWindowText(number.c_str());
    m_settingNumber = false;
    showAnswer();
}

void CTestCallDialog::showAnswer()
{
    CWnd* box = GetDlgItem(ids::IDC_TEST_NUMBER);
    const CallTest answer = testCall(m_contacts, box ? box->GetWindowText() : std::u16string());
    if (CWnd* call = GetDlgItem(ids::IDC_TEST_CALL))
        call->SetWindowText(joined(answer.call).c_str());
    if (CWnd* sms = GetDlgItem(ids::IDC_TEST_SMS))
        sms->SetWindowText(joined(answer.sms).c_str());
}

}  // namespace tonquil
