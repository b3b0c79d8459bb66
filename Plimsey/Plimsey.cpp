// Plimsey, the tone player: plays one sound file for at most five seconds
// of media and about eight seconds of wall time, then exits. It shows no
// window, reads no settings and writes nothing; its whole command line,
// verbatim, is the path of the file to play.
#include <algorithm>
#include <string>

#include <handset/com.h>
#include <handset/log.h>
#include <handset/msgqueue.h>
#include <handset/process.h>
#include <handset/wmp.h>
#include <handset/wstring.h>

#include "resource.h"

namespace {

// The timer ends the message loop, so that a tone that cannot be played,
// or one shorter than the limit, never keeps the process alive.
void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

}  // namespace

int WinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int)
{
    // A tone path longer than the media path buffer would have to be cut to
    // fit, and the cut path names some other file, or none: such a command
    // line is refused rather than played wrong.
    const std::size_t length = handset::wideLength(lpCmdLine);
    if (length > kMaxMediaPath) {
        handset::logLine("plimsey", "refused a command line of " + std::to_string(length) +
                                        " characters: a tone path has at most " + std::to_string(kMaxMediaPath));
        return 0;
    }
    WCHAR mediaPath[kMaxMediaPath + 1];
    std::copy(lpCmdLine, lpCmdLine + length, mediaPath);
    mediaPath[length] = u'\0';
    // Nothing to play: the SMS service starts the player this way for a
    // message that must stay silent.
    if (mediaPath[0] == u'\0')
        return 0;

    if (CoInitializeEx(nullptr, COINIT_MULTITHREADED) != S_OK) {
        CoUninitialize();
        return 0;
    }
    IWMPPlayer* player = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPlayer,
                                reinterpret_cast<void**>(&player)))) {
        if (player)
            player->Release();
        CoUninitialize();
        return 0;
    }
    IWMPControls* controls = nullptr;
    if (FAILED(player->get_controls(&controls))) {
        player->Release();
        CoUninitialize();
        return 0;
    }

    SetTimer(nullptr, kQuitTimer, kQuitTimerMilliseconds, onTimer);
    // The player starts by itself; whether the file can be played shows only
    // in what is heard, so the result is not looked at.
    player->put_URL(mediaPath);

    // The position is read after each message; the player's own progress
    // messages make sure there is one often enough.
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        DispatchMessage(&msg);
        double position = 0.0;
        controls->get_currentPosition(&position);
        if (position >= kMaxPlaySeconds)
            break;
    }

    // Releasing the player stops the tone.
    controls->Release();
    player->Release();
    CoUninitialize();
    return 0;
}
