// CCategoryList: the owner-drawn list of the Categories page. Each row's
// column-0 text is a category's name; the row marks that category's tones
// and shows its priority (bold for VIP, grey for Mute).
#pragma once

#include <tones/marked_list.h>

namespace tonquil {

class CCategoryList : public CMarkedList {
protected:
    RowMarks marksOf(int item, DWORD_PTR itemData) override;
};

}  // namespace tonquil
