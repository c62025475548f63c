// VeldoHelperRestoreRequest: the items the app asks the helper to put back from the user's Trash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace veldo::common {

struct VeldoHelperRestoreRequest
{
    struct Item
    {
        std::string trashPath;    // where the item lies in the user's Trash
        std::string originalPath; // where it is to go back to

        friend bool operator==(const Item&, const Item&) = default;
    };

    std::vector<Item> items;

    // The JSON text: {"items": [{"trashPath": …, "originalPath": …}, …]}. Fails
    // (invalidArgument) only when a path is not valid UTF-8 or there are more than
    // kMaxHelperBatchItems items.
    Result<std::string> encodeJSON() const;

    // Reads the JSON text. Fails (unreadable) when it is not a JSON object, "items" is missing,
    // null or not an array, holds more than kMaxHelperBatchItems items, or an item lacks a string
    // "trashPath" or "originalPath". Unknown keys are ignored.
    static Result<VeldoHelperRestoreRequest> decodeJSON(std::string_view text);

    friend bool operator==(const VeldoHelperRestoreRequest&,
                           const VeldoHelperRestoreRequest&) = default;
};

} // namespace veldo::common
