// HelperCaller: the account a Trash mover works for, as the mover sees it.
#pragma once

#include <set>

#include <sys/types.h>

#include "platform/MacPath.h"

namespace veldo::helper {

struct HelperCaller
{
    uid_t uid = 0;
    gid_t gid = 0;          // the primary group
    platform::MacPath home; // the home folder; its ".Trash" receives the items
    std::set<gid_t> groups; // every group the account belongs to

    // True when `group` is the primary group or one of `groups`.
    bool isInGroup(gid_t group) const { return group == gid || groups.contains(group); }
};

} // namespace veldo::helper
