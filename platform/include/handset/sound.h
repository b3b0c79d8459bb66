// The phone's sound system: it rings a call as the ring settings say (the
// tone, the ring script, the ring volume) and sounds a text message's
// notification. Sound goes where HANDSET_AUDIO sends it: "auto" (the default)
// plays on the host's sound output, or silently in real time when the host
// has none (said once in the log); "none" plays silently in real time;
// "capture:DIR" also writes each ring and each notification as a WAV file in
// DIR (ring-call<ID>-<caller>.wav, notification-message<N>.wav). Vibration
// is a device event on the log's "vibrate" channel. docs/sound.md describes
// the ring script and the loudness of each volume.
//
// This is a library of its own (handset_sound), linked by the programs that
// play: it brings GStreamer into a process, which the platform's core never
// does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <handset/types.h>

namespace handset::sound {

// The loudness 0 to 5 of the phone's sound categories as a linear gain: 5
// is full scale, each step down halves the amplitude (6 dB), 0 is silent.
// Larger values are taken as 5.
double gainOfVolume(DWORD volume);

// What a call rings with: "ControlPanel\Sounds\RingTone0" "Sound" and
// "Script", "ControlPanel\SoundCategories\Ring" "InitVol" (none: unreadable).
struct RingSettings {
    std::u16string sound;
    std::u16string script;
    std::optional<DWORD> volume;
};

// The ring settings in the registry now; a value that cannot be read is
// empty.
RingSettings readRingSettings();

// A ring in progress.
class Ring {
public:
    virtual ~Ring();  // stops the ring
    // Stops the ring; the capture, if any, ends at this moment of the
    // device clock. Safe to call more than once.
    virtual void stop() = 0;
};

// Starts ringing call `callId` (from `callerId`, empty when there is none)
// and returns once the ring has started: when its script begins with the
// tone, once the tone's first audio has reached the output. The ring plays
// until stop() or destruction. Never null: a ring that cannot sound still
// keeps the script's vibration and its timeline.
std::unique_ptr<Ring> startRing(std::uint32_t callId, const std::u16string& callerId, const RingSettings& settings);

// What a text message's notification sounds with.
struct NotificationSound {
    std::u16string wave;     // the sound file (a device path); empty for the default
    bool sound = false;      // play it
    bool vibrate = false;    // vibrate while it plays (a second when nothing plays)
    std::optional<DWORD> volume;  // none: the notification volume in the registry
};

// A notification that is sounding; destroying it stops the sound.
class Notification {
public:
    virtual ~Notification();
    // Waits until the sound has played out (for tests and short-lived
    // programs).
    virtual void wait() = 0;
};

// Plays the sound of the notification of message `messageNumber` once, on
// threads of its own, and vibrates when it says so; returns at once. Null
// when there is neither sound nor vibration.
std::unique_ptr<Notification> playNotification(std::int64_t messageNumber, const NotificationSound& notification);

}  // namespace handset::sound
