// The leftover scan: its driver, the add rule, other copies, nesting and the final order.
#include "app/leftovers/LeftoverScanner.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "app/core/AllocatedSize.h"
#include "app/leftovers/InstallerReceipts.h"
#include "app/leftovers/ItemKey.h"
#include "app/leftovers/LibraryListing.h"
#include "app/leftovers/MatchContext.h"
#include "app/leftovers/NameText.h"
#include "app/leftovers/ProtectedLocations.h"
#include "app/leftovers/SystemLibraryRules.h"
#include "app/leftovers/UserLibraryRules.h"
#include "common/RemovalSafety.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/MainBundle.h"
#include "platform/PropertyList.h"
#include "platform/SecurityScopedAccess.h"
#include "platform/UserDirectories.h"

namespace veldo::leftovers::LeftoverScanner {

using core::LeftoverCategory;
using core::LeftoverItem;
using core::MatchConfidence;
using platform::MacPath;

namespace {

constexpr std::size_t kMaxInfoPlistBytes = 4u * 1024u * 1024u;

bool beginsWithFolder(std::string_view path, std::string_view folder)
{
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
           path[folder.size()] == '/';
}

// `realHome` is platform::homeDirectory() (the user database's), read once per scan.
common::RemovalSafety::Context offerSafetyContext(const MacPath& realHome)
{
    common::RemovalSafety::Context context;
    context.homeDirectory = realHome;
    context.protectedBundles = {platform::mainBundleURL()};
    context.inspectsDisk = false;
    return context;
}

std::vector<MacPath> protectedRoots(const std::vector<core::ScopedAccessRoot>& roots,
                                    const MacPath& app)
{
    std::vector<MacPath> urls;
    urls.reserve(roots.size() + 1);
    for (const auto& root : roots)
        urls.push_back(root.url);
    urls.push_back(app);
    return urls;
}

// The offer filter with its inputs computed once per scan.
class OfferFilter
{
public:
    // `home` is the home folder that protected locations are judged by, `realHome` the one the
    // removal-safety policy is given.
    OfferFilter(const MacPath& app, const std::vector<core::ScopedAccessRoot>& roots, MacPath home,
                const MacPath& realHome)
        : m_appStandard(app.standardized()), m_roots(protectedRoots(roots, app)),
          m_home(std::move(home)), m_safety(offerSafetyContext(realHome))
    {
    }

    bool allows(const MacPath& candidate) const
    {
        if (candidate.standardized() == m_appStandard)
            return true;
        if (isProtectedLocation(candidate, m_roots, m_home))
            return false;
        return !common::removalRefusal(candidate, m_safety);
    }

private:
    MacPath m_appStandard;
    std::vector<MacPath> m_roots;
    MacPath m_home;
    common::RemovalSafety::PreparedContext m_safety;
};

// The items of one scan in the order found, with the add rule that records or upgrades them.
class ItemCollector
{
public:
    // Once a stop is requested, nothing more is added or measured.
    ItemCollector(const OfferFilter& filter, std::stop_token stop)
        : m_filter(filter), m_stop(std::move(stop))
    {
    }

    void addAppBundle(const MacPath& app)
    {
        if (!platform::exists(app))
            return;
        const auto size = core::allocatedSize(app, m_stop);
        if (!size)
            return;
        m_index.emplace(itemKey(app), m_items.size());
        m_items.push_back(LeftoverItem{app, LeftoverCategory::application, *size, false,
                                       MatchConfidence::certain});
    }

    void add(const MacPath& url, LeftoverCategory category, bool requiresAdmin,
             MatchConfidence confidence)
    {
        if (m_stop.stop_requested() || !platform::exists(url) || !m_filter.allows(url))
            return;
        std::string key = itemKey(url);
        if (auto found = m_index.find(key); found != m_index.end()) {
            LeftoverItem& item = m_items[found->second];
            if (confidence < item.confidence)
                item.confidence = confidence;
            return;
        }
        const auto size = core::allocatedSize(url, m_stop);
        if (!size)
            return;
        m_index.emplace(std::move(key), m_items.size());
        m_items.push_back(LeftoverItem{url, category, *size, requiresAdmin, confidence});
    }

    std::vector<LeftoverItem> take() { return std::move(m_items); }

private:
    const OfferFilter& m_filter;
    std::stop_token m_stop;
    std::vector<LeftoverItem> m_items;
    std::unordered_map<std::string, std::size_t> m_index;
};

// The security-scoped accesses started for one scan, stopped in the order they were started.
class ScopedAccesses
{
public:
    ScopedAccesses() = default;
    ScopedAccesses(const ScopedAccesses&) = delete;
    ScopedAccesses& operator=(const ScopedAccesses&) = delete;
    ~ScopedAccesses()
    {
        for (const auto& url : m_started)
            platform::stopAccessingSecurityScopedResource(url);
    }

    void start(const MacPath& url)
    {
        if (platform::startAccessingSecurityScopedResource(url))
            m_started.push_back(url);
    }

private:
    std::vector<MacPath> m_started;
};

std::optional<MacPath> userDirectory(int name)
{
    const std::size_t length = platform::darwinConfstr(name, nullptr, 0);
    if (length < 1)
        return std::nullopt;
    std::string buffer(length, '\0');
    if (platform::darwinConfstr(name, buffer.data(), buffer.size()) == 0)
        return std::nullopt;
    buffer.resize(buffer.find('\0') == std::string::npos ? buffer.size() : buffer.find('\0'));
    if (buffer.empty())
        return std::nullopt;
    return MacPath(std::move(buffer));
}

} // namespace

std::vector<ReceiptInstalledItem> receiptLeftovers(const core::InstalledApp& app,
                                                   std::stop_token stop)
{
    if (!app.bundleID || app.bundleID->empty())
        return {};
    return receiptItemsForApp(*app.bundleID, app.url.standardized().path(), receiptFolders(),
                              platform::homeDirectory().path(), std::move(stop));
}

std::vector<MacPath> darwinUserDirectories()
{
    std::vector<MacPath> folders;
    for (int name : {platform::kCsDarwinUserCacheDir, platform::kCsDarwinUserTempDir}) {
        if (auto folder = userDirectory(name))
            folders.push_back(std::move(*folder));
    }
    return folders;
}

namespace {

std::unordered_set<std::string> embeddedBundleIDs(const MacPath& app, FolderListingCache& listings)
{
    std::unordered_set<std::string> identifiers;
    // The folders share two parents ("Contents", "Contents/Library"): each is read once.
    std::string_view parentPath;
    std::shared_ptr<const FolderListing> parent;
    for (const std::string_view folder : kNestedBundleFolders) {
        const std::size_t slash = folder.rfind('/');
        if (!parent || folder.substr(0, slash) != parentPath) {
            parentPath = folder.substr(0, slash);
            parent = listFolder(listings, app, parentPath);
        }
        const std::string* stored = parent->entryFor(folder.substr(slash + 1));
        if (!stored)
            continue;
        const auto bundles = listings.listing(parent->pathOf(*stored));
        if (!bundles)
            continue;
        for (const std::string& name : bundles->visibleNames()) {
            const auto info = platform::readPropertyListFile(
                locateEntry(listings, bundles->pathOf(name), "Contents/Info.plist"),
                kMaxInfoPlistBytes);
            if (!info)
                continue;
            if (auto identifier = info->stringFor("CFBundleIdentifier"))
                identifiers.insert(std::move(*identifier));
        }
    }
    return identifiers;
}

} // namespace

std::unordered_set<std::string> embeddedBundleIDs(const MacPath& app)
{
    FolderListingCache listings;
    return embeddedBundleIDs(app, listings);
}

bool isOfferable(const MacPath& candidate, const MacPath& app,
                 const std::vector<core::ScopedAccessRoot>& roots, const MacPath& home)
{
    return OfferFilter(app, roots, home, platform::homeDirectory()).allows(candidate);
}

std::vector<MacPath> registeredCopies(const core::InstalledApp& app,
                                      const platform::ApplicationRegistry& registry)
{
    if (!app.bundleID || app.bundleID->empty())
        return {};
    return registry.applicationURLs(*app.bundleID);
}

std::vector<MacPath> otherInstalledCopies(const std::vector<MacPath>& registered,
                                          const MacPath& app, const MacPath& home)
{
    auto resolved = [](const MacPath& url) {
        return platform::resolvingSymlinks(url.standardized());
    };
    const std::string appPath = resolved(app).path();
    const std::string excluded[] = {
        resolved(home.appendingPathComponent(".Trash")).path(),
        resolved(home.appendingPathComponent("Library")).path(),
        "/Library",
        "/Volumes",
    };
    std::vector<MacPath> copies;
    std::unordered_set<std::string> taken;
    for (const auto& url : registered) {
        MacPath copy = resolved(url);
        const std::string& path = copy.path();
        if (path == appPath || beginsWithFolder(path, appPath))
            continue;
        if (std::any_of(std::begin(excluded), std::end(excluded),
                        [&](const std::string& prefix) { return beginsWithFolder(path, prefix); }))
            continue;
        if (path.find("/AppTranslocation/") != std::string::npos)
            continue;
        if (!platform::exists(copy))
            continue;
        if (!taken.insert(path).second)
            continue;
        copies.push_back(std::move(copy));
    }
    return copies;
}

std::vector<LeftoverItem> droppingNestedItems(std::vector<LeftoverItem> items)
{
    struct Keyed
    {
        std::string key;
        std::size_t length;
        LeftoverItem item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (auto& item : items) {
        std::string key = itemKey(item.url);
        const std::size_t length = characterCount(key);
        keyed.push_back(Keyed{std::move(key), length, std::move(item)});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.length < b.length; });

    // A key lies inside a kept key exactly when one of its prefixes that ends before a "/" is
    // a kept key.
    std::unordered_set<std::string_view> kept;
    std::vector<LeftoverItem> result;
    result.reserve(keyed.size());
    for (auto& entry : keyed) {
        const std::string_view key = entry.key;
        bool nested = false;
        for (std::size_t slash = key.find('/'); slash != std::string_view::npos && !nested;
             slash = key.find('/', slash + 1))
            nested = kept.contains(key.substr(0, slash));
        if (nested)
            continue;
        kept.insert(key);
        result.push_back(std::move(entry.item));
    }
    return result;
}

bool resultOrder(const LeftoverItem& a, const LeftoverItem& b)
{
    if (a.category != b.category)
        return a.category < b.category;
    if (a.confidence != b.confidence)
        return a.confidence < b.confidence;
    return a.sizeBytes > b.sizeBytes;
}

namespace {

// The main scan, between the start and the stop of security-scoped access.
Result<std::vector<LeftoverItem>>
findLeftovers(const core::InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
              const std::vector<MacPath>& perUserFolders, const ReceiptSource& receipts,
              const platform::ApplicationRegistry& registry, FolderListingCache& listings,
              const std::stop_token& stop)
{
    std::optional<MacPath> userLibrary;
    std::optional<MacPath> systemLibrary;
    for (const auto& root : roots) {
        if (root.kind == core::AccessRootKind::userLibrary)
            userLibrary = root.url;
        else if (root.kind == core::AccessRootKind::systemLibrary)
            systemLibrary = root.url;
    }

    std::vector<std::string> names{app.name};
    names.insert(names.end(), app.alternateNames.begin(), app.alternateNames.end());
    const MatchContext context = MatchContext::make(app.bundleID, app.url, std::move(names),
                                                    embeddedBundleIDs(app.url, listings));
    const MacPath home = platform::homeDirectory();

    const OfferFilter filter(app.url, roots, home, home);
    ItemCollector collector(filter, stop);
    const AddCallback add = [&collector](const MacPath& url, LeftoverCategory category,
                                         bool requiresAdmin, MatchConfidence confidence) {
        collector.add(url, category, requiresAdmin, confidence);
    };

    collector.addAppBundle(app.url);
    if (userLibrary && !stop.stop_requested())
        scanUserLibrary(*userLibrary, context, listings, add);
    if (systemLibrary && !stop.stop_requested())
        scanSystemLibrary(*systemLibrary, context, listings, add);
    if (context.bundleID) {
        for (const auto& folder : perUserFolders) {
            if (auto cache = existingChild(listings, folder, "", *context.bundleID))
                add(*cache, LeftoverCategory::caches, false, MatchConfidence::certain);
        }
    }
    if (receipts && !stop.stop_requested()) {
        for (const auto& item : receipts(app, stop))
            add(item.url, item.category, item.requiresAdmin, MatchConfidence::medium);
    }
    if (stop.stop_requested())
        return Error::make(ErrorCode::cancelled);

    std::vector<LeftoverItem> items = collector.take();
    if (!otherInstalledCopies(registeredCopies(app, registry), app.url, home).empty()) {
        for (auto& item : items) {
            if (item.category != LeftoverCategory::application)
                item.confidence = MatchConfidence::low;
        }
    }
    items = droppingNestedItems(std::move(items));
    std::stable_sort(items.begin(), items.end(), resultOrder);
    return items;
}

} // namespace

Result<std::vector<LeftoverItem>>
scan(const core::InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
     const std::vector<MacPath>& perUserFolders, const ReceiptSource& receipts,
     const platform::ApplicationRegistry& registry, std::stop_token stop)
{
    FolderListingCache listings;
    return scan(app, roots, perUserFolders, receipts, registry, listings, std::move(stop));
}

Result<std::vector<LeftoverItem>> scan(const core::InstalledApp& app,
                                       const std::vector<core::ScopedAccessRoot>& roots,
                                       const std::vector<MacPath>& perUserFolders,
                                       const ReceiptSource& receipts,
                                       const platform::ApplicationRegistry& registry,
                                       FolderListingCache& listings, std::stop_token stop)
{
    // A root whose access fails to start is still read; only started accesses are stopped.
    ScopedAccesses accesses;
    for (const auto& root : roots)
        accesses.start(root.url);
    return findLeftovers(app, roots, perUserFolders, receipts, registry, listings, stop);
}

} // namespace veldo::leftovers::LeftoverScanner
