// The phone's ring: one thread per ring walks the ring script on the
// device's clock, playing the tone through an Output and sending vibration
// to the log, until the ring is stopped.
#include <handset/sound.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>

#include <handset/clock.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "sound/output.h"
#include "sound/script.h"
#include "sound/sound_thread.h"
#include "sound/vibration.h"
#include "wmp/media.h"

namespace handset::sound {

namespace {

using Clock = std::chrono::steady_clock;

// The phone's own ring, which rings when the chosen tone cannot.
constexpr char16_t kDefaultRingSound[] = u"\\Windows\\Ring.wav";
// The ring volume of a phone whose setting cannot be read: the factory's.
constexpr DWORD kDefaultRingVolume = 3;
// How long the radio is kept waiting for a ring to start at most.
constexpr auto kStartLimit = std::chrono::seconds(2);

std::u16string readString(const char16_t* path, const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    WCHAR buffer[1024];
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::u16string text(buffer, size / sizeof(WCHAR));
    if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos)
        text.resize(end);
    return text;
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", value);
    return text;
}

// The caller as a file name can hold it.
std::string fileNameOf(const std::u16string& callerId)
{
    if (callerId.empty())
        return "no-caller-id";
    std::string name;
    for (char16_t c : callerId.substr(0, 40))
        name += (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'+'
                    ? static_cast<char>(c)
                    : '_';
    return name;
}

class ScriptedRing final : public Ring {
public:
    ScriptedRing(std::uint32_t callId, const std::u16string& callerId, const RingSettings& settings)
        : name_("ring of call " + std::to_string(callId)),
          settings_(settings),
          output_("ring-call" + std::to_string(callId) + "-" + fileNameOf(callerId)),
          vibration_(name_),
          rate_(clockRate()),
          start_(Clock::now()),
          thread_([this] { perform(); })
    {
    }

    ~ScriptedRing() override { stop(); }

    void stop() override
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        output_.interrupt();
        thread_.join();
    }

    void waitStarted()
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, kStartLimit, [this] { return started_; });
    }

private:
    // The device's time since the ring began, in frames of the recording.
    std::uint64_t deviceFrames() const
    {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count() * rate_;
        return static_cast<std::uint64_t>(elapsed * Recording::kRate);
    }

    void markStarted()
    {
        {
            std::lock_guard lock(mutex_);
            started_ = true;
        }
        wake_.notify_all();
    }

    // Lets the device's time reach `frame` of the timeline, writing the
    // recording as it goes. False when the ring was stopped first.
    bool waitUntil(std::uint64_t frame)
    {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            const std::uint64_t now = deviceFrames();
            if (Recording* recording = output_.recording()) {
                lock.unlock();
                recording->writeUpTo(std::min(now, frame));
                lock.lock();
            }
            if (now >= frame)
                return true;
            const double hostSeconds = static_cast<double>(frame - now) / Recording::kRate / rate_;
            wake_.wait_for(lock, std::min(std::chrono::duration<double>(hostSeconds),
                                          std::chrono::duration<double>(0.05)));
        }
        return false;
    }

    // The tone to play: the chosen one, or the phone's own once the chosen
    // one has failed.
    std::string uri()
    {
        if (!usingDefault_) {
            if (settings_.sound.empty()) {
                switchToDefault("no ring tone is set");
            } else {
                const wmp::ResolvedMedia media = wmp::resolveMedia(settings_.sound);
                if (!media.uri.empty())
                    return media.uri;
                switchToDefault(media.reason);
            }
        }
        return wmp::resolveMedia(kDefaultRingSound).uri;
    }

    void switchToDefault(const std::string& why)
    {
        usingDefault_ = true;
        logLine("sound", name_ + ": cannot play \"" + toUtf8(settings_.sound) + "\": " + why +
                             "; ringing with the default sound " + toUtf8(kDefaultRingSound));
    }

    // One "p": the tone once, then the timeline stands at its end.
    void play(std::uint64_t& timeline, double level, bool vibrateWithTone)
    {
        const double gain = audioOn_ ? gainOfVolume(settings_.volume.value_or(kDefaultRingVolume)) * level : 0.0;
        PlayResult result;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const std::string media = uri();
            if (media.empty()) {
                result.failure = "the default sound is missing too";
                break;
            }
            result = output_.play(media, gain, timeline, stopping_, [this] { markStarted(); });
            if (result.played || usingDefault_)
                break;
            switchToDefault(result.failure);
        }
        if (!result.played) {
            if (!silentLogged_)
                logLine("sound", name_ + ": rings without sound: " + result.failure);
            silentLogged_ = true;
            markStarted();
            // Without a tone a "p" takes no time; the waits still pace the ring.
            return;
        }
        ++plays_;
        if (plays_ == 1)
            logLine("sound", name_ + ": playing \"" + toUtf8(usingDefault_ ? kDefaultRingSound : settings_.sound) +
                                 "\" at gain " + std::to_string(gain) + " (" + output_.description() + ")");
        const std::uint64_t begin = timeline;
        if (output_.recording()) {
            timeline += result.frames;
            // A capture is the phone's timeline, not the host's: time the host
            // spent starting and decoding beyond the tone's own length is not
            // the phone's, else a slow host would squeeze the rounds together.
            if (const std::uint64_t now = deviceFrames(); now > timeline)
                start_ += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(toSeconds(now - timeline) / rate_));
        } else {
            timeline = std::max(timeline, deviceFrames());
        }
        if (vibrateWithTone)
            vibration_.add(toSeconds(begin), toSeconds(timeline));
        waitUntil(timeline);
    }

    static double toSeconds(std::uint64_t frames) { return static_cast<double>(frames) / Recording::kRate; }

    void perform()
    {
        const Script script = parseScript(settings_.script);
        std::string why;
        const bool canSound = output_.ready(&why);
        logLine("sound", name_ + ": script=" + toUtf8(settings_.script) + " sound=" + toUtf8(settings_.sound) +
                             " volume=" + (settings_.volume ? std::to_string(*settings_.volume) : "(none)") +
                             (script.ignored.empty() ? "" : " (ignored: " + script.ignored + ")") +
                             (canSound ? "" : "; no sound: " + why));
        // The ring has started when its first sound reaches the output, or
        // at once when it begins with anything else.
        bool beginsWithTone = false;
        for (const Step& step : script.steps) {
            if (step.kind == Step::Kind::Play)
                beginsWithTone = canSound;
            if (step.kind == Step::Kind::Play || step.kind == Step::Kind::Wait ||
                (step.kind == Step::Kind::Vibrate && step.number > 0) || step.kind == Step::Kind::Repeat)
                break;
        }
        if (!beginsWithTone)
            markStarted();

        std::uint64_t timeline = 0;
        double level = 1.0;
        bool vibrateWithTone = false;
        for (std::size_t i = 0; i < script.steps.size() && !stopping_; i = nextStep(script.steps, i)) {
            const Step& step = script.steps[i];
            switch (step.kind) {
            case Step::Kind::AudioOn:
                audioOn_ = true;
                break;
            case Step::Kind::Play:
                play(timeline, level, vibrateWithTone);
                break;
            case Step::Kind::Vibrate:
                if (step.number == 0) {
                    vibrateWithTone = true;
                    break;
                }
                {
                    const std::uint64_t begin = timeline;
                    timeline += std::uint64_t{step.number} * Recording::kRate;
                    markStarted();
                    vibration_.add(toSeconds(begin), toSeconds(timeline));
                    waitUntil(timeline);
                }
                break;
            case Step::Kind::Wait:
                timeline += std::uint64_t{step.number} * Recording::kRate;
                markStarted();
                waitUntil(timeline);
                break;
            case Step::Kind::Crescendo:
                level = std::min(1.0, level * step.number / 100.0);
                break;
            case Step::Kind::Repeat:
                break;
            }
        }
        markStarted();
        // The script has ended (or the ring was stopped): the phone stays
        // silent until the call stops ringing.
        waitUntil(UINT64_MAX);
        const std::uint64_t end = deviceFrames();
        if (Recording* recording = output_.recording())
            recording->writeUpTo(end);
        vibration_.stopAt(toSeconds(end));
        logLine("sound", name_ + ": stopped after " + seconds(toSeconds(end)) + ", the tone played " +
                             std::to_string(plays_) + " time(s)");
    }

    const std::string name_;
    const RingSettings settings_;
    Output output_;
    Vibration vibration_;
    const double rate_;
    Clock::time_point start_;  // the performer's own: moved on by what a capture does not count

    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    bool started_ = false;

    // The performer's own.
    bool audioOn_ = false;
    bool usingDefault_ = false;
    bool silentLogged_ = false;
    unsigned plays_ = 0;
    SoundThread thread_;  // last: it starts performing once everything above is made
};

}  // namespace

Ring::~Ring() = default;

double gainOfVolume(DWORD volume)
{
    if (volume == 0)
        return 0.0;
    return 1.0 / static_cast<double>(1u << (5 - std::min<DWORD>(volume, 5)));
}

RingSettings readRingSettings()
{
    constexpr const char16_t* ringTone = u"ControlPanel\\Sounds\\RingTone0";
    RingSettings settings;
    settings.sound = readString(ringTone, u"Sound");
    settings.script = readString(ringTone, u"Script");
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD value = 0, type = 0, size = sizeof value;
        if (RegQueryValueEx(key, u"InitVol", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value)
            settings.volume = value;
        RegCloseKey(key);
    }
    return settings;
}

std::unique_ptr<Ring> startRing(std::uint32_t callId, const std::u16string& callerId, const RingSettings& settings)
{
    auto ring = std::make_unique<ScriptedRing>(callId, callerId, settings);
    ring->waitStarted();
    return ring;
}

}  // namespace handset::sound
