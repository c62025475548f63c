// JSON coding of the helper's restore request.
#include "common/VeldoHelperRestoreRequest.h"

#include "common/JsonDocument.h"

namespace veldo::common {

Result<std::string> VeldoHelperRestoreRequest::encodeJSON() const
{
    json::Writer list = json::Writer::array();
    for (const Item& item : items)
        list.push_back({{"trashPath", item.trashPath}, {"originalPath", item.originalPath}});
    json::Writer document = json::Writer::object();
    document["items"] = std::move(list);
    auto text = json::write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

Result<VeldoHelperRestoreRequest> VeldoHelperRestoreRequest::decodeJSON(std::string_view text)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = json::parseObject(text);
    if (!document)
        return unreadable;
    const json::Document* list = json::field(*document, "items");
    if (list == nullptr || !list->is_array())
        return unreadable;

    VeldoHelperRestoreRequest request;
    request.items.reserve(list->size());
    for (const json::Document& entry : *list) {
        Item item;
        if (!entry.is_object() || !json::readString(entry, "trashPath", item.trashPath) ||
            !json::readString(entry, "originalPath", item.originalPath))
            return unreadable;
        request.items.push_back(std::move(item));
    }
    return request;
}

} // namespace veldo::common
