// RunningApplicationsSnapshot: one reading of a running-application source, kept.
//
// Judging several apps against the same reading walks /proc once instead of once per app.
// runningApplications() answers the kept list; terminate() asks the source the list was read
// from. Immutable after construction, so any thread may read it.
#pragma once

#include <vector>

#include "platform/RunningApplications.h"

namespace veldo::platform {

class RunningApplicationsSnapshot final : public RunningApplicationSource
{
public:
    // Reads `source` once. The source must outlive the snapshot.
    explicit RunningApplicationsSnapshot(const RunningApplicationSource& source)
        : m_source(&source), m_applications(source.runningApplications())
    {
    }

    std::vector<RunningApplication> runningApplications() const override { return m_applications; }
    bool terminate(const RunningApplication& application) const override;

private:
    const RunningApplicationSource* m_source;
    std::vector<RunningApplication> m_applications;
};

} // namespace veldo::platform
