// The Categories page, the main sheet's second tab: the contact categories
// of the phone's contacts in an owner-drawn list, sorted by name; a tap (or
// Enter) on a row opens the category settings dialog for it.
#pragma once

#include <string>
#include <vector>

#include <tones/list_page.h>

#include "category_list.h"
#include "category_records.h"

namespace tonquil {

// The message that refuses a category whose name is too long for its
// settings to apply.
inline constexpr const char16_t* kCategoryNameTooLong =
    u"The name of this category is longer than 255 characters, so the phone could never give its contacts the "
    u"category's tones and priority. Give the category a shorter name in Contacts.";

class CCategoriesPage : public CListPage {
public:
    // Reads the categories once, for the life of the page, and makes sure
    // each has its registry key, so that the services and the dialog find
    // one.
    CCategoriesPage();

    CCategoryList& list() { return m_list; }

    // The list's text column: narrower when the rows need the scroll bar.
    static constexpr int kScrollingColumnWidth = 225;
    static constexpr int kFullColumnWidth = 238;

protected:
    // The list's columns and rows, with the first row selected.
    void onFirstActivation() override;
    // The category dialog of the row's name; a name too long to apply is
    // refused with a message instead.
    void openDialog(int marked) override;

private:

    std::vector<CategoryEntry> m_categories;
    CCategoryList m_list;
};

}  // namespace tonquil
