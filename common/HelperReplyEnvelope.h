// HelperReplyEnvelope: the helper's answer to a move or restore as it travels in a socket frame:
// either the reply record or a whole-call sentence, never both.
//
// The wire text is {"data": "<VeldoHelperReply JSON>"} or {"error": "<sentence>"}.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace veldo::common {

struct HelperReplyEnvelope
{
    // Exactly one of the two is set.
    std::optional<std::string> data;  // the VeldoHelperReply's JSON text
    std::optional<std::string> error; // one of the kHelperError… sentences

    static HelperReplyEnvelope withData(std::string replyJSON);
    static HelperReplyEnvelope withError(std::string sentence);

    // The envelope's JSON text. Fails (invalidArgument) unless exactly one of `data` and `error`
    // is set, or when the text is not valid UTF-8.
    Result<std::string> encodeJSON() const;

    // Reads the envelope's JSON text. Fails (unreadable) when it is not a JSON object or does not
    // hold exactly one of a string "data" and a string "error" (null counts as absent). Unknown
    // keys are ignored.
    static Result<HelperReplyEnvelope> decodeJSON(std::string_view text);

    friend bool operator==(const HelperReplyEnvelope&, const HelperReplyEnvelope&) = default;
};

} // namespace veldo::common
