// SerialQueue: one worker thread that runs submitted work in order, now or after a delay.
//
// The destructor stops the thread after the work already running and waits for it; work not
// yet run is dropped. When the last owner goes away on the queue's own thread, the thread is
// left to finish by itself (its state outlives the queue object), so there is no deadlock.
// Work may submit more work. sync() from the queue's own thread runs inline.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace veldo::platform {

class SerialQueue
{
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Identifies scheduled work for cancel(); 0 is never used.
    using WorkId = std::uint64_t;

    WorkId async(std::function<void()> work);
    WorkId asyncAfter(std::chrono::steady_clock::duration delay, std::function<void()> work);
    // Cancels work that has not started; no effect on running or finished work.
    void cancel(WorkId id);
    // Runs `work` on the queue and waits for it (inline when called on the queue).
    void sync(const std::function<void()>& work);
    // True when the caller runs on this queue's thread.
    bool isCurrent() const;
    const std::string& label() const { return m_label; }

private:
    struct Core;
    std::string m_label;
    std::shared_ptr<Core> m_core;
    std::thread m_thread;
};

} // namespace veldo::platform
