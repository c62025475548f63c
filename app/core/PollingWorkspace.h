// PollingWorkspace: launch and quit notifications of applications, made by comparing the
// running-application list every interval (the Linux stand-in for the workspace's
// did-launch and did-terminate notifications).
//
// Only applications with a bundle count, as only those are applications to the workspace. The
// first look is a baseline and reports nothing. Polling runs on a thread of its own while at
// least one observer is registered; handlers are called on that thread. Releasing a token
// waits for a call of its handler that is in progress (unless released on the polling thread
// itself), and the handler is not called after that; a handler must therefore not wait for a
// thread that may be releasing its token. The destructor stops and waits for the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "app/core/AppLibraryWatcher.h"
#include "platform/RunningApplications.h"

namespace veldo::core {

class PollingWorkspace final : public AppLibraryWatcher::Workspace,
                               public std::enable_shared_from_this<PollingWorkspace>
{
public:
    explicit PollingWorkspace(const platform::RunningApplicationSource& source =
                                  platform::ProcRunningApplications::shared(),
                              std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~PollingWorkspace() override;

    std::shared_ptr<void>
    observe(std::function<void(std::optional<platform::MacPath>, std::optional<std::string>, bool)>
                handler) override;

    // Waits until the polling thread has finished `count` more looks at the list after this
    // call, each with its notices delivered, or the time-out passed; true when it has. After
    // observe, waitForPolls(1) returns once the baseline is taken. Polling starts with the
    // first observer.
    bool waitForPolls(std::uint64_t count, std::chrono::milliseconds timeout);

private:
    using Handler =
        std::function<void(std::optional<platform::MacPath>, std::optional<std::string>, bool)>;
    void poll(std::stop_token stop);
    void remove(std::uint64_t id);
    void pollEnded();

    const platform::RunningApplicationSource& m_source;
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    std::condition_variable m_callEnded;
    std::map<std::uint64_t, Handler> m_handlers;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_calling = 0; // the observer whose handler runs now; 0 for none
    std::uint64_t m_polls = 0;   // looks at the list, each counted once its notices are out
    std::jthread m_thread;
};

} // namespace veldo::core
