// VeldoHelperMoveRequest: the items the app asks the helper to move into the user's Trash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace veldo::common {

struct VeldoHelperMoveRequest
{
    struct Item
    {
        std::string source;      // absolute path of the item to move
        std::string destination; // the path it should get in the Trash (a direct child of it)

        friend bool operator==(const Item&, const Item&) = default;
    };

    std::vector<Item> items; // in the order to process

    // The JSON text: {"items": [{"source": …, "destination": …}, …]}. Fails (invalidArgument)
    // only when a path is not valid UTF-8 or there are more than kMaxHelperBatchItems items.
    Result<std::string> encodeJSON() const;

    // Reads the JSON text. Fails (unreadable) when it is not a JSON object, "items" is missing,
    // null or not an array, holds more than kMaxHelperBatchItems items, or an item lacks a string
    // "source" or "destination". Unknown keys are ignored. The paths are taken as written; judging
    // them is the reader's business.
    static Result<VeldoHelperMoveRequest> decodeJSON(std::string_view text);

    friend bool operator==(const VeldoHelperMoveRequest&, const VeldoHelperMoveRequest&) = default;
};

} // namespace veldo::common
