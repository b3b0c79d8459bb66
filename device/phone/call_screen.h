// The phone's call screen: who is calling, as the phone shows a call that
// rings ("Incoming call", the caller's picture and name, "Answer" and
// "Ignore"), then, once answered, the connected call ("End"). It follows
// the call on a thread of its own and closes when the call ends, however it
// ends (answered and hung up, rejected, given up by the caller, the radio
// stopping).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <handset/ui.h>

namespace phone {

// What the screen shows of the caller.
struct CallerShown {
    std::u16string name;    // the contact's name, else the number, else "No caller ID" or "Unknown"
    std::u16string number;  // the number with its kind, when the name is a contact's; else empty
    std::vector<BYTE> picture;  // the contact's picture file, when it has one
};

// The caller of a call with this caller ID (none: the network sent none),
// looked up in the contacts by the phone's own number match.
CallerShown callerShown(const std::optional<std::u16string>& callerId);

// The largest size of a picture of width x height inside box x box,
// proportions kept (at least one pixel each way).
SIZE fitPicture(UINT width, UINT height, UINT box);

class CCallScreen : public CDialog {
public:
    CCallScreen(std::uint32_t callId, CallerShown caller);
    ~CCallScreen() override;

    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A call screen stays until its call ends: the back key does not close it.
    void OnCancel() override {}

private:
    void showSoftKeys(UINT menu);
    bool showPicture();
    void showConnected();

    std::uint32_t m_callId;
    CallerShown m_caller;
    CFont m_nameFont;
    HBITMAP m_picture = nullptr;
    std::thread m_follower;
};

}  // namespace phone
