// ScopedAccessStore: holder of security-scoped access to user-granted folders, one per kind.
//
// Whatever access the store holds ends when the store goes away: each folder in activeURLs()
// gets one stop, in the order of the map. The controller makes one store, with the key
// "Veldo.SecurityScopedBookmarks.v1" and the standard defaults; nothing reads or writes that
// key. Not thread-safe: used by its owner's thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/core/AccessRootKind.h"
#include "platform/MacPath.h"
#include "platform/UserDefaults.h"

namespace veldo::core {

class ScopedAccessStore
{
public:
    static constexpr std::string_view kDefaultsKey = "Veldo.SecurityScopedBookmarks.v1";

    // A store with no active folders.
    ScopedAccessStore(std::string defaultsKey, std::shared_ptr<platform::UserDefaults> defaults);
    ~ScopedAccessStore();

    ScopedAccessStore(const ScopedAccessStore&) = delete;
    ScopedAccessStore& operator=(const ScopedAccessStore&) = delete;

    const std::string& defaultsKey() const { return m_defaultsKey; }
    const std::shared_ptr<platform::UserDefaults>& defaults() const { return m_defaults; }

    // The folders on which access was started and is held by this store, one per kind.
    std::map<AccessRootKind, platform::MacPath>& activeURLs() { return m_activeURLs; }
    const std::map<AccessRootKind, platform::MacPath>& activeURLs() const { return m_activeURLs; }

private:
    const std::string m_defaultsKey;
    const std::shared_ptr<platform::UserDefaults> m_defaults;
    std::map<AccessRootKind, platform::MacPath> m_activeURLs;
};

} // namespace veldo::core
