// JSON coding of the envelope around one call to the helper.
#include "common/HelperRequestEnvelope.h"

#include <array>
#include <utility>

#include "common/JsonDocument.h"

namespace veldo::common {

namespace {

constexpr std::array<std::pair<HelperMethod, std::string_view>, 3> kMethods{{
    {HelperMethod::moveToTrash, "moveToTrash"},
    {HelperMethod::restore, "restore"},
    {HelperMethod::version, "version"},
}};

} // namespace

std::string_view rawValue(HelperMethod method)
{
    for (const auto& [m, raw] : kMethods) {
        if (m == method)
            return raw;
    }
    return {};
}

std::optional<HelperMethod> helperMethodFromRawValue(std::string_view raw)
{
    for (const auto& [m, r] : kMethods) {
        if (r == raw)
            return m;
    }
    return std::nullopt;
}

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
    auto method = helperMethodFromRawValue(methodName);
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
