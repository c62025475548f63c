// The package test over bundle extensions.
#include "platform/Package.h"

#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::platform {

bool isBundleExtension(std::string_view extension)
{
    if (extension.empty())
        return false;
    const std::string lower = lowercased(extension);
    for (auto e : kBundleExtensions) {
        if (lower == e)
            return true;
    }
    return false;
}

bool isPackage(const MacPath& path)
{
    if (!isBundleExtension(path.pathExtension()))
        return false;
    auto st = fileStatus(path, FollowLinks::no);
    return st && st->type == FileType::directory;
}

bool isPlainFolder(const MacPath& path)
{
    auto st = fileStatus(path, FollowLinks::no);
    return st && st->type == FileType::directory && !isBundleExtension(path.pathExtension());
}

} // namespace veldo::platform
