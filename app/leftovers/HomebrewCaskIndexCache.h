// HomebrewCasks::IndexCache: the one process-wide cache of the Homebrew cask index.
//
// Holds the Caskroom signature an index was built for together with that index; one lock
// guards both, so a reader never sees the signature of one load with the index of another.
// Thread-safe. Emptied whenever the Mac root changes.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "app/leftovers/CaskInfo.h"
#include "platform/MacRoot.h"

namespace veldo::leftovers::HomebrewCasks {

class IndexCache
{
public:
    // The cache, made on first use.
    static IndexCache& shared();

    // The cached index when a signature is stored and equals `signature`; none otherwise.
    std::optional<CaskIndex> indexFor(const std::string& signature) const;

    // Replaces signature and index together.
    void store(std::string signature, CaskIndex index);

    // Forgets both: the signature becomes absent and the index empty.
    void invalidate();

    // The stored signature (absent at first and after invalidate).
    std::optional<std::string> signature() const;

private:
    IndexCache();

    mutable std::mutex m_lock;
    std::optional<std::string> m_signature;
    CaskIndex m_index;
    platform::MacRootResetHook m_hook; // last: unregistered before the index goes
};

} // namespace veldo::leftovers::HomebrewCasks
