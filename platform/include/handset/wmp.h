// The media player control: the class CLSID_WindowsMediaPlayer with its
// player interface IWMPPlayer and its controls IWMPControls, created in
// process with CoCreateInstance. It plays WAV, MP3, WMA and MIDI files by
// device path, and URLs.
//
// Setting the URL starts playback by itself (the control's automatic start
// is on and stays on). The control plays on threads of its own; its users
// learn of its progress by reading the play state and the position. While a
// stream opens or plays, the control posts kPlayerProgressMessage to the
// thread that set the URL about ten times a second, as the phone's control
// wakes that thread with its own messages, so that a message loop there
// gets to look at the position. The message has no window; DispatchMessage
// drops it, and a copy still waiting in the queue is not added again.
//
// Where the sound goes is chosen by the environment variable HANDSET_AUDIO
// when a player is created:
//   auto         (the default) the system's audio output when there is one,
//                else a sink that keeps real time without a sound card, so
//                that positions and durations run as they would with sound;
//   none         that real-time sink, always;
//   capture:DIR  as auto, and each stream played is also written to a new
//                WAV file (16-bit PCM) in DIR, made when its first audio
//                reaches the output, so that a test can measure what played.
//
// Every stream started is logged on the device log's "wmp" channel, and so
// is every stream that cannot be played, with the reason.
#pragma once

#include <handset/com.h>
#include <handset/msgqueue.h>
#include <handset/types.h>

// A string passed to or from an automation interface. This platform's
// control only reads them, up to their terminator.
using BSTR = OLECHAR*;

// The control's play states, with the platform's values.
enum WMPPlayState {
    wmppsUndefined = 0,      // no media: a new player, after close or an empty URL
    wmppsStopped = 1,        // stopped by stop()
    wmppsPaused = 2,         // paused by pause()
    wmppsPlaying = 3,        // playing
    wmppsScanForward = 4,    // not used by this control
    wmppsScanReverse = 5,    // not used by this control
    wmppsBuffering = 6,      // a network stream fills its buffer
    wmppsWaiting = 7,        // not used by this control
    wmppsMediaEnded = 8,     // the media played to its end
    wmppsTransitioning = 9,  // the URL was set; the media is being opened
    wmppsReady = 10,         // the media could not be played (missing, unreadable, unknown format)
    wmppsReconnecting = 11,  // not used by this control
    wmppsLast = 12
};

inline constexpr CLSID CLSID_WindowsMediaPlayer = {0x6BF52A52, 0x394A, 0x11D3,
                                                   {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};
inline constexpr IID IID_IWMPPlayer = {0x6BF52A4F, 0x394A, 0x11D3, {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};
inline constexpr IID IID_IWMPControls = {0x74C09E02, 0xF828, 0x11D2,
                                         {0xA7, 0x4B, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x6E}};

// The transport of the player. Every operation returns S_OK unless it says
// otherwise.
struct IWMPControls : IDispatch {
    // Plays the current URL again: resumes where pause() left it, else starts
    // from the beginning. S_FALSE when there is no URL.
    virtual HRESULT play() = 0;
    // Stops playback; the play state becomes wmppsStopped and the position 0.
    // Nothing happens without a URL.
    virtual HRESULT stop() = 0;
    // Pauses a stream that is playing or opening; S_FALSE otherwise.
    virtual HRESULT pause() = 0;
    // The position in the media in seconds: 0 while nothing plays, the end
    // of the media once it has played to the end. E_POINTER for null.
    virtual HRESULT get_currentPosition(double* pdCurrentPosition) = 0;
};

struct IWMPPlayer : IDispatch {
    // Stops playback and forgets the URL (play state wmppsUndefined).
    virtual HRESULT close() = 0;
    // Sets the media and starts playing it. bstrURL is a device path
    // ("\My Documents\My Ringtones\Bell.wav") or a URL with a scheme
    // ("file:///...", "http://..."); an empty string is the same as close().
    // The result does not say whether the media can be played: that shows
    // later in the play state (wmppsPlaying, or wmppsReady when it cannot).
    // E_POINTER for null.
    virtual HRESULT put_URL(BSTR bstrURL) = 0;
    // The play state (WMPPlayState). E_POINTER for null.
    virtual HRESULT get_playState(WMPPlayState* pwmpps) = 0;
    // The player's controls; the caller releases them. They keep the player
    // alive. E_POINTER for null.
    virtual HRESULT get_controls(IWMPControls** ppControl) = 0;
};

namespace handset {

// The thread message a playing control posts to the thread that set its
// URL. In the range of registered messages, so no program's own message
// numbers meet it.
inline constexpr UINT kPlayerProgressMessage = 0xC0A1;

}  // namespace handset
