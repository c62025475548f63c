// Numbered names for items that share a name in the Trash.
#include "platform/NumberedName.h"

#include "platform/MacPath.h"

namespace veldo::platform {

std::string numberedName(std::string_view name, int n)
{
    std::string result(name);
    if (n < 2)
        return result;
    const MacPath asPath(name);
    const std::string extension = asPath.pathExtension();
    const std::string base = asPath.deletingPathExtension().path();
    if (!base.empty() && !extension.empty())
        return base + " " + std::to_string(n) + "." + extension;
    return result + " " + std::to_string(n);
}

} // namespace veldo::platform
