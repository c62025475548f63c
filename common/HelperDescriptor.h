// HelperDescriptor: shared ownership of one open file descriptor of the helper's file access.
//
// Copies share the descriptor; it is closed (once) when the last copy goes, and nothing else
// closes it. Made by the helper's file-access operations, or from a UniqueFd by code that opened
// a descriptor the same way (no following of links, relative to a descriptor already held).
// Safe to copy and read from any thread; the descriptor itself is the kernel's to share.
#pragma once

#include <memory>
#include <utility>

#include "base/UniqueFd.h"

namespace veldo::common {

class HelperDescriptor final
{
public:
    // Takes ownership of `fd`, which must be open.
    explicit HelperDescriptor(UniqueFd fd)
        : m_owner(std::make_shared<const UniqueFd>(std::move(fd)))
    {
    }

    // The raw descriptor; valid while any copy of this object lives.
    int fd() const { return m_owner->get(); }

private:
    std::shared_ptr<const UniqueFd> m_owner;
};

} // namespace veldo::common
