// The process-wide cache of the Homebrew cask index.
#include "app/leftovers/HomebrewCaskIndexCache.h"

#include "platform/MacRoot.h"

namespace veldo::leftovers::HomebrewCasks {

IndexCache& IndexCache::shared()
{
    static IndexCache cache;
    return cache;
}

IndexCache::IndexCache()
    // Another Mac has other casks.
    : m_hook(platform::addMacRootResetHook([this] { invalidate(); }))
{
}

std::optional<CaskIndex> IndexCache::indexFor(const std::string& signature) const
{
    std::lock_guard lock(m_lock);
    if (!m_signature || *m_signature != signature)
        return std::nullopt;
    return m_index;
}

void IndexCache::store(std::string signature, CaskIndex index)
{
    CaskIndex old;
    {
        std::lock_guard lock(m_lock);
        m_signature = std::move(signature);
        old.swap(m_index);
        m_index = std::move(index);
    }
}

void IndexCache::invalidate()
{
    CaskIndex old;
    {
        std::lock_guard lock(m_lock);
        m_signature.reset();
        old.swap(m_index);
    }
}

std::optional<std::string> IndexCache::signature() const
{
    std::lock_guard lock(m_lock);
    return m_signature;
}

} // namespace veldo::leftovers::HomebrewCasks
