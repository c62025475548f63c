// FakeRunningApplications: a running-application source that answers the list the test sets
// and records terminate requests. Thread-safe, so a polling thread may read it while the test
// changes the list.
#pragma once

#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/RunningApplications.h"

namespace veldo::testsupport {

class FakeRunningApplications final : public platform::RunningApplicationSource
{
public:
    void setApplications(std::vector<platform::RunningApplication> applications)
    {
        std::lock_guard lock(m_mutex);
        m_applications = std::move(applications);
    }
    void addApplication(platform::RunningApplication application)
    {
        std::lock_guard lock(m_mutex);
        m_applications.push_back(std::move(application));
    }
    // terminate() answers false for these.
    void setRefusing(std::set<pid_t> refusing)
    {
        std::lock_guard lock(m_mutex);
        m_refusing = std::move(refusing);
    }
    // Every terminate() call so far, in order.
    std::vector<pid_t> terminated() const
    {
        std::lock_guard lock(m_mutex);
        return m_terminated;
    }
    void clearTerminated()
    {
        std::lock_guard lock(m_mutex);
        m_terminated.clear();
    }

    std::vector<platform::RunningApplication> runningApplications() const override
    {
        std::lock_guard lock(m_mutex);
        return m_applications;
    }
    bool terminate(const platform::RunningApplication& application) const override
    {
        std::lock_guard lock(m_mutex);
        m_terminated.push_back(application.processIdentifier);
        return m_refusing.count(application.processIdentifier) == 0;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<platform::RunningApplication> m_applications;
    std::set<pid_t> m_refusing;
    mutable std::vector<pid_t> m_terminated;
};

} // namespace veldo::testsupport
