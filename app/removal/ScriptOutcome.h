// ScriptOutcome: what one run of the administrator script reported, item by item.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace veldo::removal::AdminRemover {

// An item index is the position of the item's clause in the command list of its run, from 0.
struct ScriptOutcome
{
    std::set<std::int64_t> succeeded;         // indexes with an OK marker
    std::set<std::int64_t> failed;            // indexes with a FAIL marker
    std::map<std::int64_t, std::string> held; // index → staging folder (a Mac path) left behind
    bool wasCancelled = false;                // the administrator dialog was cancelled (-128)
    // A run-level error: the launch error, the AppleScript error text ("<number> <sentence>"),
    // or "The administrator command didn't run.".
    std::optional<std::string> errorMessage;

    friend bool operator==(const ScriptOutcome&, const ScriptOutcome&) = default;
};

} // namespace veldo::removal::AdminRemover
