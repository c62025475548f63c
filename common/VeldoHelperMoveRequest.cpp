// JSON coding of the helper's move request.
#include "common/VeldoHelperMoveRequest.h"

#include "common/HelperPathPairs.h"

namespace veldo::common {

Result<std::string> VeldoHelperMoveRequest::encodeJSON() const
{
    return json::encodePathPairs(items, "source", &Item::source, "destination", &Item::destination);
}

Result<VeldoHelperMoveRequest> VeldoHelperMoveRequest::decodeJSON(std::string_view text)
{
    auto items =
        json::decodePathPairs(text, "source", &Item::source, "destination", &Item::destination);
    if (!items)
        return items.error();
    return VeldoHelperMoveRequest{std::move(*items)};
}

} // namespace veldo::common
