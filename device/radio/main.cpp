// radio: the device's radio, a resident program. It owns the line devices
// listed in the device's registry and serves the telephony library of every
// process over run/radio.sock until it is asked to stop (SIGTERM, SIGINT).
#include <csignal>
#include <pthread.h>
#include <string>

#include <handset/lifecycle.h>
#include <handset/log.h>
#include <handset/radio.h>
#include <handset/sound.h>
#include <handset/wstring.h>

int main()
{
    handset::setProgramName("radio");

    // The stop signals are taken by sigwait below; blocked before the
    // server's threads exist, they reach no other thread.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    std::vector<handset::radio::LineDevice> lines = handset::radio::linesFromRegistry();
    const std::size_t count = lines.size();
    std::string names;
    for (const auto& line : lines)
        names += (names.empty() ? "\"" : ", \"") + handset::toUtf8(line.name) + "\"";

    // The phone's sound system rings each call with what the line
    // applications left in the ring settings.
    struct SoundRinger final : handset::radio::Ringer {
        std::unique_ptr<handset::sound::Ring> ring;
        void stop() override { ring->stop(); }
    };
    handset::radio::ServerOptions options;
    options.ringer = [](std::uint32_t callId, const std::optional<std::u16string>& callerId,
                        const handset::radio::RingReport& report) -> std::unique_ptr<handset::radio::Ringer> {
        auto ringer = std::make_unique<SoundRinger>();
        ringer->ring = handset::sound::startRing(callId, callerId.value_or(std::u16string()),
                                                 {report.sound, report.script, report.volume});
        return ringer;
    };

    auto started =
        handset::radio::Server::start(handset::radio::socketPath(), std::move(lines), std::move(options));
    if (!started.ok()) {
        handset::logLine("radio", "cannot start: " + started.error);
        return 1;
    }
    handset::logLine("radio", "serving " + std::to_string(count) +
                                  " line(s) on " + handset::radio::socketPath().string() +
                                  (names.empty() ? "" : ": " + names));
    handset::lifecycle::announceReady("radio");

    int signal = 0;
    while (sigwait(&stop, &signal) != 0) {
    }
    handset::logLine("radio", "stopping (signal " + std::to_string(signal) + ")");
    started.server.reset();
    handset::lifecycle::withdraw("radio");
    return 0;
}
