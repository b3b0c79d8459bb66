// Control ids of the Categories page and the category settings dialog (their
// templates and menus are in resource.h). The dialog templates in
// resources/categories.res use the same numbers, and tests find the
// controls by them.
#pragma once

#include <resource.h>

#include <tones/tone_selector.h>

namespace tonquil::ids {

// The Categories page: its bold title is res::IDC_CATEGORIES_TITLE.
constexpr int IDC_CATEGORY_LIST = 1032;

// The category settings dialog.
constexpr int IDC_CATEGORY_RING_LABEL = 1036;
constexpr int IDC_CATEGORY_SMS_LABEL = 1037;
constexpr int IDC_CATEGORY_PRIORITY_LABEL = 1038;
constexpr int IDC_CATEGORY_PRIORITY = 1014;
constexpr ToneSlotIds kCategoryRingSlot{1033, 1012, 1070};
constexpr ToneSlotIds kCategorySmsSlot{1035, 1034, 1057};

}  // namespace tonquil::ids
