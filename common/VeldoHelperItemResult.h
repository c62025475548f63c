// VeldoHelperItemResult: what the helper did with one item of a move or restore request.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::common {

struct VeldoHelperItemResult
{
    enum class Outcome
    {
        done,      // moved or put back
        missing,   // the item was not there
        failed,    // tried and failed
        notHandled // the helper did not take the item; the app handles it another way
    };

    enum class Reason
    {
        notManaged, // outside what the helper manages
        stopped,    // the helper stopped before or while handling the item
        changed,    // the item changed while it was handled and was left alone
        unsafePath  // the path was refused as unsafe
    };

    std::string path; // the request item's path this result answers, as the helper reports it
    // Defaults to failed so that a result nobody filled in never reads as success.
    Outcome outcome = Outcome::failed;
    std::optional<std::string> destination; // where the item ended up
    std::optional<std::uint32_t> ownerID;   // the item's owner, for the app's Undo record
    std::optional<std::uint32_t> groupID;
    std::optional<std::string> message; // a sentence for the user on a failure or refusal
    std::optional<Reason> reason;       // the kind of refusal
    // The item is still in the Trash and another Undo may put it back (absent means false).
    std::optional<bool> retryable;

    friend bool operator==(const VeldoHelperItemResult&, const VeldoHelperItemResult&) = default;
};

} // namespace veldo::common

// The raw values on the wire are the case names ("done", "notHandled", "unsafePath", …).
template <>
struct veldo::base::EnumTraits<veldo::common::VeldoHelperItemResult::Outcome>
{
    using Outcome = veldo::common::VeldoHelperItemResult::Outcome;

    static constexpr std::array<std::pair<Outcome, std::string_view>, 4> kCases{{
        {Outcome::done, "done"},
        {Outcome::missing, "missing"},
        {Outcome::failed, "failed"},
        {Outcome::notHandled, "notHandled"},
    }};
};

template <>
struct veldo::base::EnumTraits<veldo::common::VeldoHelperItemResult::Reason>
{
    using Reason = veldo::common::VeldoHelperItemResult::Reason;

    static constexpr std::array<std::pair<Reason, std::string_view>, 4> kCases{{
        {Reason::notManaged, "notManaged"},
        {Reason::stopped, "stopped"},
        {Reason::changed, "changed"},
        {Reason::unsafePath, "unsafePath"},
    }};
};
