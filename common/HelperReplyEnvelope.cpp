// JSON coding of the envelope around the helper's answer to a move or restore.
#include "common/HelperReplyEnvelope.h"

#include <utility>

#include "common/JsonDocument.h"

namespace veldo::common {

HelperReplyEnvelope HelperReplyEnvelope::withData(std::string replyJSON)
{
    return HelperReplyEnvelope{std::move(replyJSON), std::nullopt};
}

HelperReplyEnvelope HelperReplyEnvelope::withError(std::string sentence)
{
    return HelperReplyEnvelope{std::nullopt, std::move(sentence)};
}

Result<std::string> HelperReplyEnvelope::encodeJSON() const
{
    if (data.has_value() == error.has_value())
        return Error::make(ErrorCode::invalidArgument);
    json::Writer document = json::Writer::object();
    if (data)
        document["data"] = *data;
    else
        document["error"] = *error;
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<HelperReplyEnvelope> HelperReplyEnvelope::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    HelperReplyEnvelope envelope;
    if (!json::readOptionalString(*document, "data", envelope.data) ||
        !json::readOptionalString(*document, "error", envelope.error))
        return unreadable;
    if (envelope.data.has_value() == envelope.error.has_value())
        return unreadable;
    return envelope;
}

} // namespace veldo::common
