// The orphan judge's answer for one candidate: claimed by something present, or an orphan with
// a confidence and a reason.
#pragma once

#include <string>

#include "app/core/MatchConfidence.h"

namespace veldo::scanners::OrphanScanner {

struct Verdict
{
    enum class Kind
    {
        claimed,
        orphan
    };

    Kind kind = Kind::orphan;
    // claimed: a short label of the claimant ("installed app", "macOS", …); not shown.
    std::string claimedBy;
    // orphan: medium or low, and why, as English sentences.
    core::MatchConfidence confidence = core::MatchConfidence::low;
    std::string reason;

    static Verdict claimed(std::string label)
    {
        return {Kind::claimed, std::move(label), core::MatchConfidence::low, {}};
    }
    static Verdict orphan(core::MatchConfidence confidence, std::string reason)
    {
        return {Kind::orphan, {}, confidence, std::move(reason)};
    }
    bool isClaimed() const { return kind == Kind::claimed; }

    friend bool operator==(const Verdict&, const Verdict&) = default;
};

} // namespace veldo::scanners::OrphanScanner
