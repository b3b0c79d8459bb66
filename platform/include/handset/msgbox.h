// Message boxes: a question with buttons that waits for the user's answer.
//
// The device has no person in front of it when scripts and tests run, so a
// box is answered by the first of these that is there:
//   1. a scripted answer: those given to scriptMessageBoxAnswers, then those
//      in $HANDSET_MSGBOX_ANSWERS (comma-separated: ok, cancel, yes, no,
//      abort, retry, ignore), taken in order, one per box; the variable is
//      inherited by the programs a process starts;
//   2. the presenter installed with setMessageBoxPresenter (the window
//      layer's dialog);
//   3. the terminal, when standard input is one: the question is printed on
//      standard error and a line is read;
//   4. nobody: the answer that goes on without acting (Cancel, No, Abort, or
//      OK for a box with only OK).
// Every box and its answer is written to the device log on channel "msgbox".
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include <handset/msgqueue.h>
#include <handset/types.h>

// Buttons (the low four bits of the type).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;

// Icons.
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;

// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;

// Modality and placement; accepted, they change nothing here.
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a box with lpText, lpCaption (null: "Error", as on the phone) and
// the buttons and icon of uType, owned by hWnd (may be null), and returns
// the button chosen: one of the box's own buttons, never anything else.
// Returns 0 only for a button set the phone does not have.
int MessageBox(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

namespace handset {

// Answers for the next boxes of this process, used before any in
// $HANDSET_MSGBOX_ANSWERS. A scripted answer that is not one of the box's
// buttons is logged and the box gets the answer of nobody (rule 4).
void scriptMessageBoxAnswers(std::vector<int> answers);

// Forgets the answers given to scriptMessageBoxAnswers that are not used yet.
void clearMessageBoxAnswers();

// Shows a box to the user and returns the button chosen (0 when it could
// not be shown: the next rule answers).
using MessageBoxPresenter = std::function<int(HWND owner, std::u16string_view text, std::u16string_view caption,
                                              UINT type)>;

// Installs the presenter (an empty one removes it).
void setMessageBoxPresenter(MessageBoxPresenter presenter);

// The answer named by a word of $HANDSET_MSGBOX_ANSWERS ("ok", "Cancel", ...);
// 0 for a word that names none.
int messageBoxAnswerFromName(std::string_view name);

// "OK", "Cancel", ...; "?" for a value that is no answer.
std::string_view messageBoxAnswerName(int answer);

// The buttons of a box of this type, in the order it shows them; none for a
// button set the phone does not have.
std::vector<int> messageBoxButtons(UINT type);

// The answer of nobody for a box of this type: the button that goes on
// without acting (Cancel, No, Abort; OK for a box with only OK); 0 when it
// has no buttons.
int messageBoxNobodysAnswer(UINT type);

// The box's default button (MB_DEFBUTTON1 to 3; the first when the type
// names one it does not have); 0 when it has no buttons.
int messageBoxDefaultButton(UINT type);

}  // namespace handset
