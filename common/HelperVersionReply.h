// HelperVersionReply: the helper's answer to the version call, {"protocolVersion": 3, "build": …}.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace veldo::common {

struct HelperVersionReply
{
    std::int64_t protocolVersion = 0; // kHelperProtocolVersion from a current helper
    std::string build;                // the helper's bundle version (CFBundleVersion)

    // The reply's JSON text. Fails (invalidArgument) only when `build` is not valid UTF-8.
    Result<std::string> encodeJSON() const;

    // Reads the reply's JSON text. Fails (unreadable) when it is not a JSON object,
    // "protocolVersion" is not an integer in the signed 64-bit range or "build" is not a string.
    // Unknown keys are ignored. Whether the version and build are acceptable is the caller's call.
    static Result<HelperVersionReply> decodeJSON(std::string_view text);

    friend bool operator==(const HelperVersionReply&, const HelperVersionReply&) = default;
};

} // namespace veldo::common
