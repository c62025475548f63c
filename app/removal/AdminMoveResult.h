// AdminMoveResult: what one administrator move did, item by item.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/removal/AdminMove.h"

namespace veldo::removal::AdminRemover {

struct MoveResult
{
    std::vector<Move> moved;                     // now in the Trash, in the order reported
    std::map<std::string, std::string> failures; // standardized path → sentence
    std::set<std::string> missing;               // standardized paths already gone
    bool wasCancelled = false;                   // the administrator dialog was cancelled

    friend bool operator==(const MoveResult&, const MoveResult&) = default;
};

} // namespace veldo::removal::AdminRemover
