#include "system_list.h"

namespace tonquil {

RowMarks CSystemList::marksOf(int, DWORD_PTR itemData)
{
    const auto callerClass = static_cast<settings::CallerClass>(itemData);
    RowMarks marks;
    settings::TonePath tone;
    settings::readClassRingTone(callerClass, tone);
    marks.ringTone = !tone.empty();
    settings::readClassSmsTone(callerClass, tone);
    marks.smsTone = !tone.empty();
    return marks;
}

}  // namespace tonquil
