// Case-insensitive lookups and one-level listings for the leftover rules.
#include "app/leftovers/LibraryListing.h"

#include <algorithm>
#include <string>

#include "platform/MacFileSystem.h"

namespace veldo::leftovers::LeftoverScanner {

platform::MacPath locateEntry(const platform::MacPath& base, std::string_view relative)
{
    platform::MacPath path = base;
    bool found = true;
    std::size_t i = 0;
    while (i < relative.size()) {
        std::size_t slash = relative.find('/', i);
        if (slash == std::string_view::npos)
            slash = relative.size();
        const std::string_view component = relative.substr(i, slash - i);
        i = slash + 1;
        if (component.empty())
            continue;
        if (found) {
            if (auto stored = platform::findEntryCaseInsensitive(path, component)) {
                path = path.appendingPathComponent(*stored);
                continue;
            }
            found = false;
        }
        path = path.appendingPathComponent(component);
    }
    return path;
}

std::optional<platform::MacPath> locateChild(const platform::MacPath& base, std::string_view folder,
                                             std::string_view name)
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return std::nullopt;
    const platform::MacPath parent = locateEntry(base, folder);
    if (auto stored = platform::findEntryCaseInsensitive(parent, name))
        return parent.appendingPathComponent(*stored);
    return parent.appendingPathComponent(name);
}

std::vector<platform::MacPath> listFolder(const platform::MacPath& base, std::string_view relative)
{
    const platform::MacPath folder = locateEntry(base, relative);
    auto names = platform::listDirectory(folder);
    if (!names)
        return {};
    std::sort(names->begin(), names->end());
    std::vector<platform::MacPath> entries;
    entries.reserve(names->size());
    for (const auto& name : *names) {
        if (!name.empty() && name.front() != '.')
            entries.push_back(folder.appendingPathComponent(name));
    }
    return entries;
}

void addExactPaths(const platform::MacPath& library, std::span<const ExactPath> rows,
                   const std::string& bundleID, bool requiresAdmin, const AddCallback& add)
{
    for (const auto& row : rows) {
        if (auto path = locateChild(library, row.folder, bundleID + row.suffix))
            add(*path, row.category, requiresAdmin, core::MatchConfidence::certain);
    }
}

} // namespace veldo::leftovers::LeftoverScanner
