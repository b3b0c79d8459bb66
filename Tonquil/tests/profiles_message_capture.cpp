#include "profiles_message_capture.h"

#include <handset/msgbox.h>

namespace profiles_test {

MessageCapture::MessageCapture()
{
    handset::clearMessageBoxAnswers();
    handset::setMessageBoxPresenter([this](HWND, std::u16string_view text, std::u16string_view, UINT) {
        texts_.emplace_back(text);
        return IDOK;
    });
}

MessageCapture::~MessageCapture()
{
    handset::setMessageBoxPresenter({});
}

}  // namespace profiles_test
