// The JSON form the move and restore requests share: {"items": [{<first>: …, <second>: …}, …]}.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Result.h"
#include "common/JsonDocument.h"
#include "common/VeldoHelperProtocol.h"

namespace veldo::common::json {

// Writes the items, each as an object of its two path fields under the given keys; more than
// kMaxHelperBatchItems items are refused (invalidArgument).
template <typename Item>
Result<std::string> encodePathPairs(const std::vector<Item>& items, const char* firstKey,
                                    std::string Item::*first, const char* secondKey,
                                    std::string Item::*second)
{
    if (items.size() > kMaxHelperBatchItems)
        return Error::make(ErrorCode::invalidArgument);
    Writer list = Writer::array();
    for (const Item& item : items)
        list.push_back({{firstKey, item.*first}, {secondKey, item.*second}});
    Writer document = Writer::object();
    document["items"] = std::move(list);
    auto text = write(document);
    if (!text)
        return Error::make(ErrorCode::invalidArgument);
    return std::move(*text);
}

// Reads the items back; refused (unreadable) when "items" is missing or not an array, holds more
// than kMaxHelperBatchItems entries, or when an entry is not an object holding both keys as
// strings.
template <typename Item>
Result<std::vector<Item>> decodePathPairs(std::string_view text, const char* firstKey,
                                          std::string Item::*first, const char* secondKey,
                                          std::string Item::*second)
{
    const Error unreadable = Error::make(ErrorCode::unreadable);
    auto document = parseObject(text);
    if (!document)
        return unreadable;
    const Document* list = field(*document, "items");
    if (list == nullptr || !list->is_array() || list->size() > kMaxHelperBatchItems)
        return unreadable;
    std::vector<Item> items;
    items.reserve(list->size());
    for (const Document& entry : *list) {
        Item item;
        if (!entry.is_object() || !readString(entry, firstKey, item.*first) ||
            !readString(entry, secondKey, item.*second))
            return unreadable;
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace veldo::common::json
