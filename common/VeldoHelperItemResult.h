// VeldoHelperItemResult: what the helper did with one item of a move or restore request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

    friend bool operator==(const VeldoHelperItemResult&, const VeldoHelperItemResult&) = default;
};

// The raw values on the wire: the case names ("done", "notHandled", "unsafePath", …).
std::string_view rawValue(VeldoHelperItemResult::Outcome outcome);
std::string_view rawValue(VeldoHelperItemResult::Reason reason);
// The case whose raw value is exactly `raw` (case-sensitive); none for anything else.
std::optional<VeldoHelperItemResult::Outcome> outcomeFromRawValue(std::string_view raw);
std::optional<VeldoHelperItemResult::Reason> reasonFromRawValue(std::string_view raw);

} // namespace veldo::common
