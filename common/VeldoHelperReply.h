// VeldoHelperReply: the helper's answer to a move or restore request, one result per item.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "common/VeldoHelperItemResult.h"

namespace veldo::common {

struct VeldoHelperReply
{
    std::vector<VeldoHelperItemResult> results; // one per request item, in request order

    // The JSON text: {"results": [{"path": …, "outcome": …, …}, …]}, optional fields without a
    // value left out (never null). Fails (invalidArgument) only when a string is not valid UTF-8.
    Result<std::string> encodeJSON() const;

    // Reads the JSON text. Fails (unreadable) when it is not a JSON object; "results" is missing,
    // null or not an array; a result lacks a string "path" or "outcome"; "outcome" or "reason" is
    // not exactly one of the raw values; or "ownerID" or "groupID" is not an integer from 0 to
    // 4294967295. A null optional key reads as absent; unknown keys are ignored.
    static Result<VeldoHelperReply> decodeJSON(std::string_view text);

    friend bool operator==(const VeldoHelperReply&, const VeldoHelperReply&) = default;
};

} // namespace veldo::common
