// RemovalVerdicts: the removal-safety verdicts of many paths and the prepared context they were
// judged under.
//
// A plain value. The controller keeps one as its verdict cache (GUI thread); a scan judges the
// paths it found into another on its worker thread and hands it over with its result, so that the
// GUI thread does not judge thousands of paths in the turn that shows them. Verdicts are only as
// good as their context: whoever adopts them compares context() with the context it would judge
// under now, and drops them when the two differ.
#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/RemovalSafety.h"
#include "platform/MacPath.h"

namespace veldo::controller {

struct RemovalVerdicts
{
    // The removal-safety check of one path (ControllerServices::removalRefusal).
    using Check = std::function<std::optional<common::RemovalSafety::Refusal>(
        const platform::MacPath&, const common::RemovalSafety::PreparedContext&)>;

    // The context every verdict was judged under; none while nothing has been judged.
    std::optional<common::RemovalSafety::PreparedContext> context;
    // Whether the check lets each path through, by path.
    std::unordered_map<std::string, bool> letThrough;

    // Prepares `context` (which reads the disk) and judges each distinct path of `urls` with
    // `check`, on the calling thread; `check` must allow that thread. Once `stop` is requested,
    // judges no further path: the answer then holds the verdicts made until then.
    static RemovalVerdicts judge(const std::vector<platform::MacPath>& urls,
                                 common::RemovalSafety::Context context, const Check& check,
                                 std::stop_token stop);
};

} // namespace veldo::controller
