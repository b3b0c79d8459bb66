#include "sound/sound_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace handset::sound {

struct SoundThread::Job {
    std::function<void()> work;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

namespace {

// As many threads as sounds that come together (a ring and a notification)
// are kept; a thread that finds the park full ends with its work.
constexpr std::size_t kParkedAtMost = 2;

struct Parked {
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<SoundThread::Job> job;  // the next work, once given
};

struct Park {
    std::mutex mutex;
    std::vector<std::shared_ptr<Parked>> idle;
};

Park& park()
{
    static auto* park = new Park;  // parked threads wait on it until the process ends
    return *park;
}

void serve(const std::shared_ptr<Parked>& self)
{
    for (;;) {
        std::shared_ptr<SoundThread::Job> job;
        {
            std::unique_lock lock(self->mutex);
            self->wake.wait(lock, [&] { return self->job != nullptr; });
            job = std::move(self->job);
        }
        job->work();
        job->work = nullptr;
        // Parked before the waiter learns that the work is done, so that a
        // sound that follows at once finds this thread.
        bool parked = false;
        {
            Park& idle = park();
            std::lock_guard lock(idle.mutex);
            if (idle.idle.size() < kParkedAtMost) {
                idle.idle.push_back(self);
                parked = true;
            }
        }
        {
            std::lock_guard lock(job->mutex);
            job->finished = true;
        }
        job->done.notify_all();
        if (!parked)
            return;
    }
}

}  // namespace

SoundThread::SoundThread(std::function<void()> work) : job_(std::make_shared<Job>())
{
    job_->work = std::move(work);
    std::shared_ptr<Parked> thread;
    {
        Park& idle = park();
        std::lock_guard lock(idle.mutex);
        if (!idle.idle.empty()) {
            thread = std::move(idle.idle.back());
            idle.idle.pop_back();
        }
    }
    if (!thread) {
        thread = std::make_shared<Parked>();
        std::thread([thread] { serve(thread); }).detach();
    }
    {
        std::lock_guard lock(thread->mutex);
        thread->job = job_;
    }
    thread->wake.notify_one();
}

SoundThread::~SoundThread()
{
    join();
}

void SoundThread::join()
{
    std::unique_lock lock(job_->mutex);
    job_->done.wait(lock, [this] { return job_->finished; });
}

}  // namespace handset::sound
