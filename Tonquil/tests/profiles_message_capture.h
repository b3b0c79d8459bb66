// Catches the message boxes a test's code shows, answering each with the
// next of the answers given, then with OK.
// (A file of its own: the message box header and the UI framework's header
// cannot both be included in one file.)
#pragma once

#include <string>
#include <vector>

namespace profiles_test {

class MessageCapture {
public:
    explicit MessageCapture(std::vector<int> answers = {});
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    // The texts of the boxes shown so far.
    const std::vector<std::u16string>& texts() const { return texts_; }

private:
    std::vector<std::u16string> texts_;
    std::vector<int> answers_;
};

}  // namespace profiles_test
