// JSON coding of the helper's reply to a move or restore request.
#include "common/VeldoHelperReply.h"

#include "common/JsonDocument.h"

namespace veldo::common {

namespace {

json::Writer resultObject(const VeldoHelperItemResult& result)
{
    json::Writer object = json::Writer::object();
    object["path"] = result.path;
    object["outcome"] = rawValue(result.outcome);
    if (result.destination)
        object["destination"] = *result.destination;
    if (result.ownerID)
        object["ownerID"] = *result.ownerID;
    if (result.groupID)
        object["groupID"] = *result.groupID;
    if (result.message)
        object["message"] = *result.message;
    if (result.reason)
        object["reason"] = rawValue(*result.reason);
    if (result.retryable)
        object["retryable"] = *result.retryable;
    return object;
}

std::optional<VeldoHelperItemResult> readResult(const json::Document& object)
{
    if (!object.is_object())
        return std::nullopt;
    VeldoHelperItemResult result;
    std::string outcome;
    std::optional<std::string> reason;
    if (!json::readString(object, "path", result.path) ||
        !json::readString(object, "outcome", outcome) ||
        !json::readOptionalString(object, "destination", result.destination) ||
        !json::readOptionalUInt32(object, "ownerID", result.ownerID) ||
        !json::readOptionalUInt32(object, "groupID", result.groupID) ||
        !json::readOptionalString(object, "message", result.message) ||
        !json::readOptionalString(object, "reason", reason) ||
        !json::readOptionalBool(object, "retryable", result.retryable))
        return std::nullopt;

    auto outcomeCase = base::fromRawValue<VeldoHelperItemResult::Outcome>(outcome);
    if (!outcomeCase)
        return std::nullopt;
    result.outcome = *outcomeCase;
    if (reason) {
        result.reason = base::fromRawValue<VeldoHelperItemResult::Reason>(*reason);
        if (!result.reason)
            return std::nullopt;
    }
    return result;
}

} // namespace

Result<std::string> VeldoHelperReply::encodeJSON() const
{
    json::Writer list = json::Writer::array();
    for (const VeldoHelperItemResult& result : results)
        list.push_back(resultObject(result));
    json::Writer document = json::Writer::object();
    document["results"] = std::move(list);
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<VeldoHelperReply> VeldoHelperReply::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    const json::Document* list = json::field(*document, "results");
    if (list == nullptr || !list->is_array())
        return unreadable;

    VeldoHelperReply reply;
    reply.results.reserve(list->size());
    for (const json::Document& entry : *list) {
        auto result = readResult(entry);
        if (!result)
            return unreadable;
        reply.results.push_back(std::move(*result));
    }
    return reply;
}

} // namespace veldo::common
