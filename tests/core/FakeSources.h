// Fakes of the running-application and last-used-date sources for the core tests.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/LastUsedDates.h"
#include "platform/RunningApplications.h"

namespace veldo::coretest {

class FakeRunningApplications final : public platform::RunningApplicationSource
{
public:
    std::vector<platform::RunningApplication> applications;
    std::set<pid_t> refusing;              // terminate() answers false for these
    mutable std::vector<pid_t> terminated; // every terminate() call, in order

    std::vector<platform::RunningApplication> runningApplications() const override
    {
        return applications;
    }
    bool terminate(const platform::RunningApplication& application) const override
    {
        terminated.push_back(application.processIdentifier);
        return refusing.count(application.processIdentifier) == 0;
    }
};

class FakeLastUsedDates final : public platform::LastUsedDateSource
{
public:
    std::map<std::string, TimePoint> dates; // by bundle path

    std::optional<TimePoint> lastUsedDate(const platform::MacPath& bundle) const override
    {
        auto it = dates.find(bundle.path());
        if (it == dates.end())
            return std::nullopt;
        return it->second;
    }
};

} // namespace veldo::coretest
