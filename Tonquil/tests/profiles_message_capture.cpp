#include "profiles_message_capture.h"

#include <handset/msgbox.h>

namespace profiles_test {

MessageCapture::MessageCapture(std::vector<int> answers) : answers_(std::move(answers))
{
    handset::clearMessageBoxAnswers();
    handset::setMessageBoxPresenter([this](HWND, std::u16string_view text, std::u16string_view, UINT) {
        texts_.emplace_back(text);
        return texts_.size() <= answers_.size() ? answers_[texts_.size() - 1] : IDOK;
    });
}

MessageCapture::~MessageCapture()
{
    handset::setMessageBoxPresenter({});
}

}  // namespace profiles_test
