// The package test over bundle extensions.
#include "platform/Package.h"

#include <algorithm>
#include <string>

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

namespace {

// Visible names of `folder`; nothing when it can't be listed.
std::vector<std::string> visibleNames(const MacPath& folder, bool sorted)
{
    auto names = listDirectory(folder);
    if (!names)
        return {};
    std::vector<std::string> visible;
    for (auto& name : *names) {
        if (!name.empty() && name.front() != '.')
            visible.push_back(std::move(name));
    }
    if (sorted)
        std::sort(visible.begin(), visible.end());
    return visible;
}

} // namespace

std::vector<std::string> sortedVisibleNames(const MacPath& folder)
{
    return visibleNames(folder, true);
}

bool isAppBundleName(std::string_view name, ExtensionCase extensionCase)
{
    const std::string extension = MacPath(std::string(name)).pathExtension();
    if (extensionCase == ExtensionCase::ignored)
        return lowercased(extension) == "app";
    return extension == "app";
}

std::vector<MacPath> appBundlesIn(const MacPath& folder, const AppBundleListing& how)
{
    std::vector<MacPath> bundles;
    for (const auto& name : visibleNames(folder, how.sorted)) {
        const MacPath entry = folder.appendingPathComponent(name);
        if (isAppBundleName(name, how.extensionCase)) {
            bundles.push_back(entry);
            continue;
        }
        if (!isPlainFolder(entry))
            continue;
        if (how.onSubfolder)
            how.onSubfolder(entry);
        for (const auto& inner : visibleNames(entry, how.sorted)) {
            if (isAppBundleName(inner, how.extensionCase))
                bundles.push_back(entry.appendingPathComponent(inner));
        }
    }
    return bundles;
}

} // namespace veldo::platform
