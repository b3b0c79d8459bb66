// A text message's notification sound: played once, on a thread of its
// own, so that the messaging host goes on with its next message.
#include <handset/sound.h>

#include <chrono>
#include <mutex>
#include <optional>

#include <handset/log.h>
#include <handset/reg_key.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include "sound/output.h"
#include "sound/sound_thread.h"
#include "sound/vibration.h"
#include "wmp/media.h"

namespace handset::sound {

namespace {

// The phone's own message sound, which plays when the chosen one cannot.
constexpr char16_t kDefaultNotificationSound[] = u"\\Windows\\Alert.wav";
// The notification volume of a phone whose setting cannot be read.
constexpr DWORD kDefaultNotificationVolume = 3;
// How long the phone vibrates for a notification that plays no sound.
constexpr double kSilentVibrationSeconds = 1.0;

DWORD notificationVolume()
{
    RegKey key;
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Notification", 0, KEY_READ, key.out()) !=
            ERROR_SUCCESS ||
        RegQueryValueEx(key.get(), u"InitVol", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return kDefaultNotificationVolume;
    return value;
}

class PlayedNotification final : public Notification {
public:
    PlayedNotification(std::int64_t number, const NotificationSound& notification)
        : name_("notification of message " + std::to_string(number)), notification_(notification)
    {
        // Said before the sound starts, so that whoever raised the
        // notification finds it in the log once the notification is raised.
        if (notification_.sound)
            logLine("sound", name_ + ": plays \"" + toUtf8(wave()) + "\" once");
        thread_.emplace([this] { perform(); });
    }

    ~PlayedNotification() override
    {
        stopping_ = true;
        {
            std::lock_guard lock(outputMutex_);
            if (output_)
                output_->interrupt();
        }
        wait();
    }

    void wait() override
    {
        thread_->join();
    }

private:
    void perform()
    {
        Vibration vibration(name_);
        if (!notification_.sound) {
            vibration.add(0.0, kSilentVibrationSeconds);
            return;
        }
        Output output("notification-message" + name_.substr(name_.rfind(' ') + 1));
        // A notification stopped while it sounds must be heard to stop at once.
        {
            std::lock_guard lock(outputMutex_);
            output_ = &output;
        }
        struct Forget {
            PlayedNotification* self;
            ~Forget()
            {
                std::lock_guard lock(self->outputMutex_);
                self->output_ = nullptr;
            }
        } forget{this};
        const DWORD volume = notification_.volume.value_or(notificationVolume());
        const double gain = gainOfVolume(volume);

        std::u16string wave = this->wave();
        PlayResult result;
        const auto begin = std::chrono::steady_clock::now();
        for (int attempt = 0; attempt < 2; ++attempt) {
            const wmp::ResolvedMedia media = wmp::resolveMedia(wave);
            if (!media.uri.empty())
                result = output.play(media.uri, gain, 0, stopping_, nullptr);
            else
                result.failure = media.reason;
            if (result.played || wave == kDefaultNotificationSound)
                break;
            logLine("sound", name_ + ": cannot play \"" + toUtf8(wave) + "\": " + result.failure +
                                 "; playing the default sound " + toUtf8(kDefaultNotificationSound));
            wave = kDefaultNotificationSound;
        }
        if (!result.played) {
            logLine("sound", name_ + ": plays no sound: \"" + toUtf8(wave) + "\": " + result.failure);
            if (notification_.vibrate)
                vibration.add(0.0, kSilentVibrationSeconds);
            return;
        }
        double length = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (Recording* recording = output.recording()) {
            recording->writeUpTo(result.frames);
            length = static_cast<double>(result.frames) / Recording::kRate;
        }
        logLine("sound", name_ + ": played \"" + toUtf8(wave) + "\" once at volume " + std::to_string(volume) +
                             " (" + output.description() + ")");
        if (notification_.vibrate)
            vibration.add(0.0, length);
    }

    // The notification's own sound; the phone's default when it names none.
    std::u16string wave() const
    {
        return notification_.wave.empty() ? std::u16string(kDefaultNotificationSound) : notification_.wave;
    }

    const std::string name_;
    const NotificationSound notification_;
    std::atomic<bool> stopping_{false};
    std::mutex outputMutex_;
    Output* output_ = nullptr;  // the one sounding, while it does
    std::optional<SoundThread> thread_;
};

}  // namespace

Notification::~Notification() = default;

std::unique_ptr<Notification> playNotification(std::int64_t messageNumber, const NotificationSound& notification)
{
    if (!notification.sound && !notification.vibrate)
        return nullptr;
    return std::make_unique<PlayedNotification>(messageNumber, notification);
}

}  // namespace handset::sound
