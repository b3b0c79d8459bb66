#include "sound/script.h"

#include <algorithm>

namespace handset::sound {

namespace {

bool takesTime(const Step& step)
{
    return step.kind == Step::Kind::Play || (step.kind == Step::Kind::Wait && step.number > 0) ||
           (step.kind == Step::Kind::Vibrate && step.number > 0);
}

}  // namespace

Script parseScript(std::u16string_view text)
{
    Script script;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t letter = text[i] >= u'A' && text[i] <= u'Z' ? text[i] - u'A' + u'a' : text[i];
        ++i;
        unsigned number = 0;
        bool hasNumber = false;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            number = std::min(kMaxScriptNumber, number * 10 + static_cast<unsigned>(text[i] - u'0'));
            hasNumber = true;
            ++i;
        }
        Step::Kind kind;
        switch (letter) {
        case u'a':
            kind = Step::Kind::AudioOn;
            break;
        case u'p':
            kind = Step::Kind::Play;
            break;
        case u'v':
            kind = Step::Kind::Vibrate;
            break;
        case u'w':
            kind = Step::Kind::Wait;
            break;
        case u'c':
            kind = Step::Kind::Crescendo;
            if (!hasNumber)
                number = 100;
            break;
        case u'r':
            kind = Step::Kind::Repeat;
            break;
        default:
            script.ignored += letter < 0x80 && letter >= 0x20 ? static_cast<char>(letter) : '?';
            continue;
        }
        script.steps.push_back({kind, number});
    }
    return script;
}

std::size_t nextStep(const std::vector<Step>& steps, std::size_t index)
{
    if (index >= steps.size() || steps[index].kind != Step::Kind::Repeat)
        return index + 1;
    std::size_t from = 0;
    for (std::size_t i = index; i-- > 0;) {
        if (steps[i].kind == Step::Kind::AudioOn) {
            from = i + 1;
            break;
        }
    }
    for (std::size_t i = from; i < index; ++i)
        if (takesTime(steps[i]))
            return from;
    return steps.size();
}

}  // namespace handset::sound
