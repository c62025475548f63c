// HelperRequestEnvelope: one call from the app to the helper as it travels in a socket frame.
//
// The wire text is {"method": "moveToTrash" | "restore" | "version", "request": "<record JSON>"}.
// The request record travels as a string, so the helper can tell an envelope it cannot read (it
// does not know what was asked) from a record it cannot read (it answers with
// kHelperErrorUnreadableRequest).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/RawValue.h"
#include "base/Result.h"

namespace veldo::common {

enum class HelperMethod
{
    moveToTrash, // request: VeldoHelperMoveRequest; answer: HelperReplyEnvelope
    restore,     // request: VeldoHelperRestoreRequest; answer: HelperReplyEnvelope
    version      // no request; answer: HelperVersionReply
};

} // namespace veldo::common

template <>
struct veldo::base::EnumTraits<veldo::common::HelperMethod>
{
    using HelperMethod = veldo::common::HelperMethod;

    static constexpr std::array<std::pair<HelperMethod, std::string_view>, 3> kCases{{
        {HelperMethod::moveToTrash, "moveToTrash"},
        {HelperMethod::restore, "restore"},
        {HelperMethod::version, "version"},
    }};
};

namespace veldo::common {

struct HelperRequestEnvelope
{
    HelperMethod method = HelperMethod::version;
    // The request record's JSON text; set for moveToTrash and restore, never for version.
    std::optional<std::string> request;

    // The envelope's JSON text. Fails (invalidArgument) when `request` is absent for a move or
    // restore, present for version, or not valid UTF-8.
    Result<std::string> encodeJSON() const;

    // Reads the envelope's JSON text. Fails (unreadable) when it is not a JSON object, "method" is
    // not one of the three raw values, or a move or restore has no string "request". A "request"
    // sent with version is ignored, as are unknown keys.
    static Result<HelperRequestEnvelope> decodeJSON(std::string_view text);

    friend bool operator==(const HelperRequestEnvelope&, const HelperRequestEnvelope&) = default;
};

} // namespace veldo::common
