// The debug output: trace lines of programs and plug-ins, in the device log.
#include <handset/debug.h>

#include <string_view>

#include <handset/log.h>
#include <handset/wstring.h>

void OutputDebugString(LPCWSTR lpOutputString)
{
    if (!lpOutputString || !*lpOutputString)
        return;
    std::u16string_view text(lpOutputString);
    // Traces end in "\r\n" as the phone's debug output expects; the log adds
    // its own line end.
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
        text.remove_suffix(1);
    handset::logLine("debug", handset::toUtf8(text));
}
