// Case-insensitive lookups and one-level listings for the leftover rules.
#include "app/leftovers/LibraryListing.h"

#include <string>

namespace veldo::leftovers::LeftoverScanner {

namespace {

// A located folder, with its stamp when the lookup of its last component read it.
struct Located
{
    platform::MacPath path;
    std::optional<platform::FileStamp> seen;

    FolderListingCache::SeenStamp seenStamp() const { return seen ? &*seen : nullptr; }
};

Located locate(FolderListingCache& listings, const platform::MacPath& base,
               std::string_view relative)
{
    Located located{base, std::nullopt};
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
            if (auto stored = listings.lookUp(located.path, component, located.seenStamp())) {
                located.path = located.path.appendingPathComponent(stored->name);
                located.seen = std::move(stored->folderStamp);
                continue;
            }
            found = false;
        }
        located.path = located.path.appendingPathComponent(component);
        located.seen.reset();
    }
    return located;
}

} // namespace

platform::MacPath locateEntry(FolderListingCache& listings, const platform::MacPath& base,
                              std::string_view relative)
{
    return locate(listings, base, relative).path;
}

std::optional<platform::MacPath> existingChild(FolderListingCache& listings,
                                               const platform::MacPath& base,
                                               std::string_view folder, std::string_view name)
{
    const Located parent = locate(listings, base, folder);
    if (auto stored = listings.lookUp(parent.path, name, parent.seenStamp()))
        return parent.path.appendingPathComponent(stored->name);
    return std::nullopt;
}

std::shared_ptr<const FolderListing>
listFolder(FolderListingCache& listings, const platform::MacPath& base, std::string_view relative)
{
    Located folder = locate(listings, base, relative);
    if (auto reading = listings.listing(folder.path, folder.seenStamp()))
        return reading;
    return std::make_shared<const FolderListing>(std::move(folder.path), platform::FileStamp{},
                                                 std::vector<std::string>{});
}

void addExactPaths(FolderListingCache& listings, const platform::MacPath& library,
                   std::span<const ExactPath> rows, const std::string& bundleID, bool requiresAdmin,
                   const AddCallback& add)
{
    for (const auto& row : rows) {
        if (auto path = existingChild(listings, library, row.folder, bundleID + row.suffix))
            add(*path, row.category, requiresAdmin, core::MatchConfidence::certain);
    }
}

} // namespace veldo::leftovers::LeftoverScanner
