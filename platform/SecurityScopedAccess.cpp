// Security-scoped access on Linux: nothing to grant, balanced start and stop are counted.
#include "platform/SecurityScopedAccess.h"

#include <map>
#include <mutex>

namespace veldo::platform {

namespace {

struct Accesses
{
    std::mutex mutex;
    std::map<MacPath, std::size_t> counts;
};

Accesses& accesses()
{
    static Accesses a;
    return a;
}

} // namespace

bool startAccessingSecurityScopedResource(const MacPath& url)
{
    Accesses& a = accesses();
    std::lock_guard lock(a.mutex);
    ++a.counts[url];
    return true;
}

void stopAccessingSecurityScopedResource(const MacPath& url)
{
    Accesses& a = accesses();
    std::lock_guard lock(a.mutex);
    auto it = a.counts.find(url);
    if (it == a.counts.end())
        return;
    if (--it->second == 0)
        a.counts.erase(it);
}

SecurityScopedAccess::SecurityScopedAccess(MacPath url)
    : m_url(std::move(url)), m_accessing(startAccessingSecurityScopedResource(m_url))
{
}

SecurityScopedAccess::~SecurityScopedAccess()
{
    if (m_accessing)
        stopAccessingSecurityScopedResource(m_url);
}

namespace testing {

std::size_t activeSecurityScopedAccesses(const MacPath& url)
{
    Accesses& a = accesses();
    std::lock_guard lock(a.mutex);
    auto it = a.counts.find(url);
    return it == a.counts.end() ? 0 : it->second;
}

} // namespace testing

} // namespace veldo::platform
