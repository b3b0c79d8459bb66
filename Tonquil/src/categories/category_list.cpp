#include "category_list.h"

namespace tonquil {

RowMarks CCategoryList::marksOf(int item, DWORD_PTR)
{
    const std::u16string category = GetItemText(item, 0);
    RowMarks marks;
    settings::TonePath tone;
    settings::readCategoryRingTone(category, tone);
    marks.ringTone = !tone.empty();
    settings::readCategorySmsTone(category, tone);
    marks.smsTone = !tone.empty();
    marks.priority = settings::readCategoryPriority(category);
    return marks;
}

}  // namespace tonquil
