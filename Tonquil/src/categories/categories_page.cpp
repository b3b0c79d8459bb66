#include "categories_page.h"

#include <memory>

#include <handset/msgbox.h>
#include <settings/settings.h>

#include "categories_ids.h"
#include "set_category.h"

namespace tonquil {

CCategoriesPage::CCategoriesPage()
    : CListPage(res::IDD_CATEGORIES_PAGE, res::IDC_CATEGORIES_TITLE, ids::IDC_CATEGORY_LIST, m_list),
      m_categories(readCategories())
{
    // A key that cannot be made leaves the category listed all the same; its
    // row then shows no marks and plain text.
    for (const CategoryEntry& category : m_categories)
        settings::ensureCategoryKey(category.name);
}

void CCategoriesPage::onFirstActivation()
{
    resetList(kScrollingColumnWidth);
    // The list sorts the rows by name itself.
    for (const CategoryEntry& category : m_categories)
        m_list.InsertItem(m_list.GetItemCount(), category.name.c_str());
    if (m_list.GetCountPerPage() >= m_list.GetItemCount())
        m_list.SetColumnWidth(0, kFullColumnWidth);
    selectFirstRow();
}

void CCategoriesPage::openDialog(int marked)
{
    const std::u16string name = m_list.GetItemText(marked, 0);
    // The services read a contact's categories 255 characters at most: a
    // longer name never reaches its settings, so none are offered.
    if (name.size() > kMaxTonePath) {
        MessageBox(m_hWnd, kCategoryNameTooLong, kApplicationName, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CWinApp* app = AfxGetApp();
    auto dialog = std::make_unique<SetCategory>(app ? app->m_pMainWnd : nullptr);
    dialog->setCategoryName(name);
    dialog->DoModal();
}

}  // namespace tonquil
