// JSON coding of the helper's move request.
#include "common/VeldoHelperMoveRequest.h"

#include "common/JsonDocument.h"

namespace veldo::common {

Result<std::string> VeldoHelperMoveRequest::encodeJSON() const
{
    json::Writer list = json::Writer::array();
    for (const Item& item : items)
        list.push_back({{"source", item.source}, {"destination", item.destination}});
    json::Writer document = json::Writer::object();
    document["items"] = std::move(list);
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<VeldoHelperMoveRequest> VeldoHelperMoveRequest::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    const json::Document* list = json::field(*document, "items");
    if (list == nullptr || !list->is_array())
        return unreadable;

    VeldoHelperMoveRequest request;
    request.items.reserve(list->size());
    for (const json::Document& entry : *list) {
        Item item;
        if (!entry.is_object() || !json::readString(entry, "source", item.source) ||
            !json::readString(entry, "destination", item.destination))
            return unreadable;
        request.items.push_back(std::move(item));
    }
    return request;
}

} // namespace veldo::common
