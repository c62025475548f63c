// Launch and quit notifications from successive running-application lists.
#include "app/core/PollingWorkspace.h"

#include <set>
#include <utility>

namespace veldo::core {

namespace {

using Key = std::pair<pid_t, std::uint64_t>; // process id and start time: one process, once

std::map<Key, platform::RunningApplication>
applicationsByKey(const std::vector<platform::RunningApplication>& list)
{
    std::map<Key, platform::RunningApplication> out;
    for (const auto& app : list) {
        if (app.bundleURL)
            out.emplace(Key{app.processIdentifier, app.startTime}, app);
    }
    return out;
}

} // namespace

PollingWorkspace::PollingWorkspace(const platform::RunningApplicationSource& source,
                                   std::chrono::milliseconds interval)
    : m_source(source), m_interval(interval)
{
}

PollingWorkspace::~PollingWorkspace()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_cv.notify_all();
        m_thread.join();
    }
}

std::shared_ptr<void> PollingWorkspace::observe(Handler handler)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        m_handlers.emplace(id, std::move(handler));
        if (!m_thread.joinable())
            m_thread = std::jthread([this](std::stop_token stop) { poll(stop); });
    }
    std::weak_ptr<PollingWorkspace> weak = weak_from_this();
    // The token's release unregisters the handler (when the workspace is still there).
    return std::shared_ptr<void>(nullptr, [weak, id](void*) {
        if (auto self = weak.lock())
            self->remove(id);
    });
}

void PollingWorkspace::remove(std::uint64_t id)
{
    std::unique_lock lock(m_mutex);
    m_handlers.erase(id);
    // Once the token is gone its owner may be too: let a call in progress end first.
    if (std::this_thread::get_id() != m_thread.get_id())
        m_callEnded.wait(lock, [&] { return m_calling != id; });
}

bool PollingWorkspace::waitForPolls(std::uint64_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_polls + count;
    return m_callEnded.wait_for(lock, timeout, [&] { return m_polls >= target; });
}

void PollingWorkspace::pollEnded()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_polls;
    }
    m_callEnded.notify_all();
}

void PollingWorkspace::poll(std::stop_token stop)
{
    auto previous = applicationsByKey(m_source.runningApplications());
    pollEnded();
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_cv.wait_for(lock, stop, m_interval, [] { return false; }) ||
                stop.stop_requested())
                return;
        }
        auto current = applicationsByKey(m_source.runningApplications());
        std::vector<std::pair<const platform::RunningApplication*, bool>> changes;
        for (const auto& [key, app] : current) {
            if (!previous.count(key))
                changes.emplace_back(&app, true);
        }
        for (const auto& [key, app] : previous) {
            if (!current.count(key))
                changes.emplace_back(&app, false);
        }
        for (const auto& [app, launched] : changes) {
            // Each call looks the observer up afresh, so a released token gets no later call.
            for (std::uint64_t after = 0;;) {
                Handler handler;
                {
                    std::lock_guard lock(m_mutex);
                    auto it = m_handlers.upper_bound(after);
                    if (it == m_handlers.end())
                        break;
                    after = it->first;
                    handler = it->second;
                    m_calling = after;
                }
                handler(app->bundleURL, app->bundleIdentifier, launched);
                handler = nullptr; // its captures go before the call counts as ended
                {
                    std::lock_guard lock(m_mutex);
                    m_calling = 0;
                }
                m_callEnded.notify_all();
            }
        }
        previous = std::move(current);
        pollEnded();
    }
}

} // namespace veldo::core
