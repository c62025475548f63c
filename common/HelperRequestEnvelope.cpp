// JSON coding of the envelope around one call to the helper.
#include "common/HelperRequestEnvelope.h"

#include "common/JsonDocument.h"

namespace veldo::common {

Result<std::string> HelperRequestEnvelope::encodeJSON() const
{
    const bool carriesRequest = method != HelperMethod::version;
    if (request.has_value() != carriesRequest)
        return Error::make(ErrorCode::invalidArgument);
    json::Writer document = json::Writer::object();
    document["method"] = rawValue(method);
    if (request)
        document["request"] = *request;
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<HelperRequestEnvelope> HelperRequestEnvelope::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    std::string methodName;
    if (!json::readString(*document, "method", methodName))
        return unreadable;
    auto method = base::fromRawValue<HelperMethod>(methodName);
    if (!method)
        return unreadable;

    HelperRequestEnvelope envelope;
    envelope.method = *method;
    if (*method != HelperMethod::version) {
        std::string request;
        if (!json::readString(*document, "request", request))
            return unreadable;
        envelope.request = std::move(request);
    }
    return envelope;
}

} // namespace veldo::common
