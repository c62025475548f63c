// AdminRestoreResult: what one administrator restore put back, item by item.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace veldo::removal::AdminRemover {

struct RestoreResult
{
    std::vector<std::string> restoredIDs;        // former paths back in place, as confirmed
    std::map<std::string, std::string> failures; // former path → sentence
    std::set<std::string> retryableIDs; // failed former paths another Undo may still put back
    bool wasCancelled = false;          // the administrator dialog was cancelled

    friend bool operator==(const RestoreResult&, const RestoreResult&) = default;
};

} // namespace veldo::removal::AdminRemover
