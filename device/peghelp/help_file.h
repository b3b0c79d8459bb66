// Finding the help file that the help viewer was asked to show.
//
// Programs start the viewer with the name of their help file as its whole
// command line ("tonquil.htm"), optionally followed by "#section" for a
// place inside it. A bare name is looked for where the phone's programs put
// their help: first in "\Windows", then in each program's own folder under
// "\Program Files" (in name order), so that a package may ship its help file
// either way. An absolute device path is taken as it is.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <handset/types.h>

namespace peghelp {

struct HelpFile {
    DWORD error = 0;                 // 0, or why nothing can be shown
    std::u16string name;             // the file name or path as asked for
    std::u16string devicePath;       // where it was found
    std::filesystem::path hostPath;  // the same in the device's file system
    std::u16string section;          // the part after '#', without it
};

// Looks up the help file named by a command line. error is
// ERROR_INVALID_PARAMETER for a command line that names nothing,
// ERROR_PATH_NOT_FOUND for a relative path with folders in it or one that
// would leave the device, ERROR_FILE_NOT_FOUND when no such file exists.
// Blanks and one pair of double quotes around the name are ignored.
HelpFile findHelpFile(std::u16string_view commandLine);

}  // namespace peghelp
