// The scoped access store ends the access it holds when it goes away.
#include "app/core/ScopedAccessStore.h"

#include "platform/SecurityScopedAccess.h"

namespace veldo::core {

ScopedAccessStore::ScopedAccessStore(std::string defaultsKey,
                                     std::shared_ptr<platform::UserDefaults> defaults)
    : m_defaultsKey(std::move(defaultsKey)), m_defaults(std::move(defaults))
{
}

ScopedAccessStore::~ScopedAccessStore()
{
    for (const auto& [kind, url] : m_activeURLs)
        platform::stopAccessingSecurityScopedResource(url);
}

} // namespace veldo::core
