// JSON coding of the helper's version reply.
#include "common/HelperVersionReply.h"

#include <utility>

#include "common/JsonDocument.h"

namespace veldo::common {

Result<std::string> HelperVersionReply::encodeJSON() const
{
    json::Writer document = json::Writer::object();
    document["protocolVersion"] = protocolVersion;
    document["build"] = build;
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<HelperVersionReply> HelperVersionReply::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    HelperVersionReply reply;
    if (!json::readInt64(*document, "protocolVersion", reply.protocolVersion) ||
        !json::readString(*document, "build", reply.build))
        return unreadable;
    return reply;
}

} // namespace veldo::common
