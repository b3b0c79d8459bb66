// The phone's vibrator, as device events: each vibration goes to the log's
// "vibrate" channel with its start (on the timeline of the ring or
// notification it belongs to) and its length, once it is over or was cut
// short.
#pragma once

#include <optional>
#include <string>

namespace handset::sound {

class Vibration {
public:
    // `owner` names what vibrates in the log: "ring of call 3".
    explicit Vibration(std::string owner) : owner_(std::move(owner)) {}
    ~Vibration() { flush(); }

    // A vibration from `start` to `end` seconds; the one before it is over.
    void add(double start, double end);
    // The sound stopped at `end` seconds: a vibration still going ends
    // there, one not yet begun never happens.
    void stopAt(double end);

private:
    void flush();

    std::string owner_;
    std::optional<std::pair<double, double>> pending_;
};

}  // namespace handset::sound
