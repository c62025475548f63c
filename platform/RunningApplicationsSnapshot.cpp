// RunningApplicationsSnapshot: quitting goes to the source the reading came from.
#include "platform/RunningApplicationsSnapshot.h"

namespace veldo::platform {

bool RunningApplicationsSnapshot::terminate(const RunningApplication& application) const
{
    return m_source->terminate(application);
}

} // namespace veldo::platform
