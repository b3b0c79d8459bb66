// CSystemList: the owner-drawn list of the System page. Each row's item
// data is its caller class; the row marks that class's tones.
#pragma once

#include <tones/marked_list.h>

namespace tonquil {

class CSystemList : public CMarkedList {
protected:
    RowMarks marksOf(int item, DWORD_PTR itemData) override;
};

}  // namespace tonquil
