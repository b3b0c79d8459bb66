// Scripted answers for the pickers (the file-open and save-as dialogs, and
// the picture picker): the device has no person in front of it when scripts and tests
// run, so a picker takes the next scripted answer when there is one:
//   1. those given to scriptPickerAnswers, in order;
//   2. then the lines of $HANDSET_FILE_ANSWERS, in order (inherited by the
//      programs a process starts, each of which reads the list afresh).
// An answer is a device path ("\My Documents\My Ringtones\Chimes.mp3") or
// the word "cancel"; one answer serves one picker (the save-as dialog adds
// its default extension to a name that has none, as it does for a person). Only when no answer is
// left does a picker show itself to the person in front of the device.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace handset {

struct PickerAnswer {
    bool cancelled = false;
    std::u16string path;  // when not cancelled: an absolute device path
};

// Answers for the next pickers of this process, used before those of
// $HANDSET_FILE_ANSWERS. An empty path is read as cancel.
void scriptPickerAnswers(std::vector<std::u16string> answers);

// Forgets the answers given to scriptPickerAnswers that are not used yet.
void clearPickerAnswers();

// Takes the next scripted answer; none when no answer is left. A line that
// is neither "cancel" nor an absolute device path is logged on channel
// "picker" and answers cancel. `source` says where the answer came from.
std::optional<PickerAnswer> nextPickerAnswer(std::string* source = nullptr);

}  // namespace handset
