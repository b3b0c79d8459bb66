// The thread a ring or a notification performs on. It is one that an
// earlier sound left parked when there is one: on a busy phone a thread
// that has just been made waits behind everything else that runs before it
// first gets the processor (milliseconds), while a parked thread that is
// woken runs at once, and a ring should sound the moment the call arrives.
#pragma once

#include <functional>
#include <memory>

namespace handset::sound {

class SoundThread {
public:
    // Runs `work` on a parked thread, or on a new one when none is parked.
    explicit SoundThread(std::function<void()> work);
    ~SoundThread();  // waits for the work
    SoundThread(const SoundThread&) = delete;
    SoundThread& operator=(const SoundThread&) = delete;

    // Waits until the work has returned (at once when it has); what `work`
    // held is released by then. Safe to call more than once.
    void join();

    struct Job;

private:
    std::shared_ptr<Job> job_;
};

}  // namespace handset::sound
