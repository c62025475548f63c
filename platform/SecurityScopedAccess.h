// Security-scoped access to folders the user granted: started before a folder is read and
// stopped afterwards, in balanced pairs.
//
// Linux has no sandbox, so access needs no grant: starting always succeeds and changes nothing
// about what can be read. The layer only keeps count of started and not yet stopped accesses
// per path, so that owners that must stop what they started can be checked. Thread-safe.
#pragma once

#include <cstddef>

#include "platform/MacPath.h"

namespace veldo::platform {

// Starts access on the folder; true when access is available (always, here).
bool startAccessingSecurityScopedResource(const MacPath& url);

// Stops one access started on the folder; stopping an access never started does nothing.
void stopAccessingSecurityScopedResource(const MacPath& url);

// Access to one folder for the life of the object.
class SecurityScopedAccess
{
public:
    explicit SecurityScopedAccess(MacPath url);
    ~SecurityScopedAccess();
    SecurityScopedAccess(const SecurityScopedAccess&) = delete;
    SecurityScopedAccess& operator=(const SecurityScopedAccess&) = delete;

    bool isAccessing() const { return m_accessing; }
    const MacPath& url() const { return m_url; }

private:
    MacPath m_url;
    bool m_accessing = false;
};

namespace testing {
// Accesses started on the folder and not yet stopped.
std::size_t activeSecurityScopedAccesses(const MacPath& url);
} // namespace testing

} // namespace veldo::platform
