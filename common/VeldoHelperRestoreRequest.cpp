// JSON coding of the helper's restore request.
#include "common/VeldoHelperRestoreRequest.h"

#include "common/HelperPathPairs.h"

namespace veldo::common {

Result<std::string> VeldoHelperRestoreRequest::encodeJSON() const
{
    return json::encodePathPairs(items, "trashPath", &Item::trashPath, "originalPath",
                                 &Item::originalPath);
}

Result<VeldoHelperRestoreRequest> VeldoHelperRestoreRequest::decodeJSON(std::string_view text)
{
    auto items = json::decodePathPairs(text, "trashPath", &Item::trashPath, "originalPath",
                                       &Item::originalPath);
    if (!items)
        return items.error();
    return VeldoHelperRestoreRequest{std::move(*items)};
}

} // namespace veldo::common
