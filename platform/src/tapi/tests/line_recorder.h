// What the telephony tests share: a radio on the test's device and a line
// callback that records every event it is given.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <handset/radio.h>
#include <handset/tapi.h>

#include "test_device.h"

namespace tapitest {

struct RecordedEvent {
    DWORD device = 0;
    DWORD message = 0;
    DWORD instance = 0;
    DWORD param1 = 0, param2 = 0, param3 = 0;
    std::thread::id thread;
};

// The events the callback was given, in order. A hook, when set, runs in
// the callback before the event is recorded (and may block it).
class Recorder {
public:
    static Recorder& get()
    {
        static Recorder recorder;
        return recorder;
    }

    void reset()
    {
        std::lock_guard lock(mutex_);
        events_.clear();
        hook_ = nullptr;
    }

    void setHook(std::function<void(const RecordedEvent&)> hook)
    {
        std::lock_guard lock(mutex_);
        hook_ = std::move(hook);
    }

    void record(const RecordedEvent& event)
    {
        std::function<void(const RecordedEvent&)> hook;
        {
            std::lock_guard lock(mutex_);
            hook = hook_;
        }
        if (hook)
            hook(event);
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        changed_.notify_all();
    }

    std::vector<RecordedEvent> events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

    // Events given with `instance` (each test line has its own).
    std::vector<RecordedEvent> eventsOf(DWORD instance)
    {
        std::vector<RecordedEvent> mine;
        for (const RecordedEvent& event : events())
            if (event.instance == instance)
                mine.push_back(event);
        return mine;
    }

    // Waits (a hang guard, not a measure) until `done` holds for the events.
    bool waitUntil(const std::function<bool(const std::vector<RecordedEvent>&)>& done)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return done(events_); });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RecordedEvent> events_;
    std::function<void(const RecordedEvent&)> hook_;
};

inline void recordingCallback(DWORD device, DWORD message, DWORD instance, DWORD param1, DWORD param2, DWORD param3)
{
    Recorder::get().record({device, message, instance, param1, param2, param3, std::this_thread::get_id()});
}

// A fresh device with a radio serving the lines a test chooses.
class RadioTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { Recorder::get().reset(); }
    void TearDown() override
    {
        Recorder::get().reset();
        radio_.reset();
    }

    void startRadio(std::vector<handset::radio::LineDevice> lines, handset::radio::ServerOptions options = {})
    {
        auto started = handset::radio::Server::start(handset::radio::socketPath(), std::move(lines), options);
        ASSERT_TRUE(started.ok()) << started.error;
        radio_ = std::move(started.server);
    }

    static std::vector<handset::radio::LineDevice> named(std::initializer_list<const char16_t*> names)
    {
        std::vector<handset::radio::LineDevice> lines;
        for (const char16_t* name : names)
            lines.push_back({name});
        return lines;
    }

    std::unique_ptr<handset::radio::Server> radio_;
};

}  // namespace tapitest
