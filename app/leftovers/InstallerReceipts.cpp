// Reading installer receipts and reducing the paths they installed to removable items.
#include "app/leftovers/InstallerReceipts.h"

#include <algorithm>
#include <optional>
#include <stop_token>
#include <unordered_map>

#include "app/leftovers/BOMReader.h"
#include "app/leftovers/ReceiptInfo.h"
#include "app/leftovers/ReceiptMatch.h"
#include "app/leftovers/ReceiptPaths.h"
#include "app/leftovers/ReceiptScanContext.h"
#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"

namespace veldo::leftovers {

using platform::MacPath;

namespace {

// A receipt property list holds a handful of keys; anything this large is not one.
constexpr std::size_t kMaxReceiptBytes = 4u * 1024u * 1024u;
// The largest bill of materials read (one of a million paths takes under 100 MB).
constexpr std::size_t kMaxBomBytes = 256u * 1024u * 1024u;

// The absolute, standardised paths that one receipt's bill of materials lists.
std::vector<std::string> installedPaths(const MacPath& bom, const ReceiptInfo& info,
                                        const std::stop_token& stop)
{
    const auto bytes = platform::readFile(bom, kMaxBomBytes);
    if (!bytes)
        return {};
    std::string_view prefix = info.installPrefixPath;
    if (prefix.ends_with('/'))
        prefix.remove_suffix(1);
    std::vector<BOMEntry> entries = BOMReader::entries(*bytes);
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    // Each entry's path is released as its absolute form is made, so the two lists together
    // hold the paths about once.
    for (auto& entry : entries) {
        if (stop.stop_requested())
            return {};
        std::string_view relative = entry.path;
        if (relative.starts_with('/'))
            relative.remove_prefix(1);
        std::string path(prefix);
        path.push_back('/');
        path.append(relative);
        std::string().swap(entry.path);
        paths.push_back(MacPath(std::move(path)).standardized().path());
    }
    return paths;
}

// Adds the paths of the receipt at `receipt` when it belongs to the app.
void addReceiptPaths(const MacPath& receipt, std::string_view bundleIdentifier,
                     std::string_view appPath, std::unordered_set<std::string>& installed,
                     const std::stop_token& stop)
{
    const auto plist = platform::readPropertyListFile(receipt, kMaxReceiptBytes);
    if (!plist)
        return;
    const auto info = readReceiptInfo(*plist);
    if (!info)
        return;
    const ReceiptMatch match = matchReceipt(info->packageIdentifier, bundleIdentifier);
    if (match == ReceiptMatch::none)
        return;
    const MacPath bom(receipt.deletingPathExtension().path() + ".bom");
    if (!platform::exists(bom))
        return;
    std::vector<std::string> paths = installedPaths(bom, *info, stop);
    if (match == ReceiptMatch::parent &&
        std::find(paths.begin(), paths.end(), appPath) == paths.end())
        return;
    for (auto& path : paths)
        installed.insert(std::move(path));
}

// Names the Finder leaves in any folder it shows: its view settings, localisation marker and
// AppleDouble companions. A folder holding them is still the package's own.
bool isFinderMetadata(std::string_view name)
{
    return name == ".DS_Store" || name == ".localized" || name.starts_with("._");
}

// The entries of `folder` that must be recorded for it to be wholly owned; none when it can't be
// listed. Only the Finder's metadata is passed over: another hidden entry (".git", ".env") that no
// receipt names may hold the user's own data, so it keeps the folder from being taken whole.
std::optional<std::vector<std::string>> ownershipEntries(const std::string& folder)
{
    auto names = platform::listDirectory(MacPath(folder));
    if (!names)
        return std::nullopt;
    std::erase_if(*names, [](const std::string& name) { return isFinderMetadata(name); });
    return std::move(*names);
}

// The walk over the candidates of one call, with the wholly-owned test.
class ReceiptItemWalk
{
public:
    ReceiptItemWalk(std::string_view homePath, std::stop_token stop)
        : m_context(makeReceiptScanContext(homePath)), m_stop(std::move(stop))
    {
    }

    // Records one installed path (trimmed); paths of the app bundle itself are left out.
    void addInstalledPath(std::string path, const std::string& appPath)
    {
        if (path == appPath || ReceiptPaths::liesBelow(path, appPath))
            return;
        if (auto bundle = enclosingAppBundle(path)) {
            path = std::move(*bundle);
            m_appBundles.insert(path);
        }
        if (isExcludedReceiptPath(path, m_context))
            return;
        const auto top = topmostOwnedPath(path, m_context);
        if (!top)
            return;
        m_candidates.insert(*top);
        // A link recorded before was recorded with every link above it, up to the same item.
        std::string_view current = path;
        while (recordLink(ReceiptPaths::parent(current), ReceiptPaths::lastComponent(current)) &&
               current != *top)
            current = ReceiptPaths::parent(current);
    }

    void addAppBundle(const std::string& path) { m_appBundles.insert(path); }

    std::vector<ReceiptInstalledItem> run()
    {
        for (const auto& bundle : m_appBundles) {
            std::string_view folder = bundle;
            do {
                folder = ReceiptPaths::parent(folder);
                m_keptFolders.emplace(folder);
            } while (folder != "/");
        }
        std::vector<std::string> candidates(m_candidates.begin(), m_candidates.end());
        std::sort(candidates.begin(), candidates.end());
        for (const auto& candidate : candidates)
            visit(candidate, 0);

        std::vector<ReceiptInstalledItem> items;
        items.reserve(m_collected.size());
        const std::string& home = m_context.homePath;
        for (auto& path : m_collected) {
            const bool inHome = path == home || ReceiptPaths::liesBelow(path, home);
            const core::LeftoverCategory category = receiptCategory(path);
            items.push_back(ReceiptInstalledItem{MacPath(std::move(path)), category, !inHome});
        }
        return items;
    }

private:
    enum class Ownership
    {
        owned,
        notOwned,
        unknown // a bound was reached: taken as not owned, and not remembered
    };

    // The path up to its first component whose name ends in ".app"; none without one.
    static std::optional<std::string> enclosingAppBundle(std::string_view path)
    {
        std::string rebuilt;
        std::size_t start = 0;
        while (start < path.size()) {
            auto end = path.find('/', start);
            if (end == std::string_view::npos)
                end = path.size();
            if (end > start) {
                const std::string_view component = path.substr(start, end - start);
                rebuilt.push_back('/');
                rebuilt.append(component);
                if (ReceiptPaths::isAppBundleName(component))
                    return rebuilt;
            }
            start = end + 1;
        }
        return std::nullopt;
    }

    // Records `name` as a child of `folder`; false when it was recorded already.
    bool recordLink(std::string_view folder, std::string_view name)
    {
        auto found = m_childrenByFolder.find(folder);
        if (found == m_childrenByFolder.end())
            found = m_childrenByFolder.emplace(std::string(folder), ReceiptPaths::PathSet{}).first;
        if (found->second.contains(name))
            return false;
        found->second.emplace(name);
        return true;
    }

    void visit(const std::string& path, int depth)
    {
        if (m_collected.size() >= kMaxReceiptItems || m_stop.stop_requested())
            return;
        if (isExcludedReceiptPath(path, m_context) || m_appBundles.contains(path) ||
            ReceiptPaths::isAppBundleName(ReceiptPaths::lastComponent(path)))
            return;
        const auto status = platform::fileStatus(MacPath(path), platform::FollowLinks::no);
        if (!status)
            return;
        if (status->type != platform::FileType::directory) {
            m_collected.push_back(path);
            return;
        }
        int listingsLeft = kMaxOwnershipListings;
        if (ownership(path, depth, listingsLeft) == Ownership::owned) {
            m_collected.push_back(path);
            return;
        }
        if (depth >= kMaxReceiptDepth)
            return;
        const auto recorded = m_childrenByFolder.find(path);
        if (recorded == m_childrenByFolder.end())
            return;
        std::vector<std::string> names(recorded->second.begin(), recorded->second.end());
        std::sort(names.begin(), names.end());
        for (const auto& name : names)
            visit(ReceiptPaths::joined(path, name), depth + 1);
    }

    // Whether the folder at `depth` below its item is wholly owned. Definite answers are
    // remembered for the call, so no folder is judged twice.
    Ownership ownership(const std::string& folder, int depth, int& listingsLeft)
    {
        if (auto known = m_ownership.find(folder); known != m_ownership.end())
            return known->second ? Ownership::owned : Ownership::notOwned;
        if (m_keptFolders.contains(folder) || m_appBundles.contains(folder))
            return remember(folder, false);
        if (depth > kMaxReceiptDepth || listingsLeft <= 0 || m_stop.stop_requested())
            return Ownership::unknown;
        --listingsLeft;
        const auto names = ownershipEntries(folder);
        if (!names)
            return remember(folder, false);
        const auto recorded = m_childrenByFolder.find(folder);
        for (const auto& name : *names) {
            if (recorded == m_childrenByFolder.end() || !recorded->second.contains(name))
                return remember(folder, false);
        }
        for (const auto& name : *names) {
            const std::string child = ReceiptPaths::joined(folder, name);
            if (m_keptFolders.contains(child) || m_appBundles.contains(child))
                return remember(folder, false);
            const auto status = platform::fileStatus(MacPath(child), platform::FollowLinks::no);
            if (!status)
                return Ownership::unknown; // gone since the listing
            if (status->type != platform::FileType::directory)
                continue;
            const Ownership childOwnership = ownership(child, depth + 1, listingsLeft);
            if (childOwnership == Ownership::notOwned)
                return remember(folder, false);
            if (childOwnership == Ownership::unknown)
                return Ownership::unknown;
        }
        return remember(folder, true);
    }

    Ownership remember(const std::string& folder, bool owned)
    {
        m_ownership.emplace(folder, owned);
        return owned ? Ownership::owned : Ownership::notOwned;
    }

    const ReceiptScanContext m_context;
    const std::stop_token m_stop;
    ReceiptPaths::PathSet m_appBundles;
    ReceiptPaths::PathSet m_keptFolders;
    std::unordered_map<std::string, ReceiptPaths::PathSet, ReceiptPaths::PathHash, std::equal_to<>>
        m_childrenByFolder;
    ReceiptPaths::PathSet m_candidates;
    std::unordered_map<std::string, bool> m_ownership;
    std::vector<std::string> m_collected;
};

} // namespace

const std::vector<MacPath>& receiptFolders()
{
    static const std::vector<MacPath> folders{MacPath("/var/db/receipts"),
                                              MacPath("/Library/Receipts")};
    return folders;
}

std::vector<ReceiptInstalledItem> receiptItemsForApp(std::string_view bundleIdentifier,
                                                     std::string_view appPath,
                                                     const std::vector<MacPath>& folders,
                                                     std::string_view homePath,
                                                     std::stop_token stop)
{
    std::unordered_set<std::string> installed;
    for (const auto& folder : folders) {
        const auto names = platform::listDirectory(folder);
        if (!names)
            continue;
        for (const auto& name : *names) {
            if (stop.stop_requested())
                return {};
            if (name.starts_with('.'))
                continue;
            const MacPath receipt = folder.appendingPathComponent(name);
            if (receipt.pathExtension() == "plist")
                addReceiptPaths(receipt, bundleIdentifier, appPath, installed, stop);
        }
    }
    return collectReceiptItems(installed, appPath, homePath, std::move(stop));
}

std::vector<ReceiptInstalledItem>
collectReceiptItems(const std::unordered_set<std::string>& installedPaths, std::string_view appPath,
                    std::string_view homePath, std::stop_token stop)
{
    // Nothing installed names nothing; the walk's tables are not worth building then.
    if (installedPaths.empty())
        return {};
    const std::string app = ReceiptPaths::trimmed(appPath);
    ReceiptItemWalk walk(homePath, std::move(stop));
    walk.addAppBundle(app);
    for (const auto& path : installedPaths)
        walk.addInstalledPath(ReceiptPaths::trimmed(path), app);
    return walk.run();
}

core::LeftoverCategory receiptCategory(std::string_view path)
{
    using core::LeftoverCategory;
    auto contains = [path](std::string_view part) { return path.find(part) != path.npos; };
    if (contains("/LaunchDaemons/") || contains("/LaunchAgents/"))
        return LeftoverCategory::launchAgents;
    if (contains("/Caches/"))
        return LeftoverCategory::caches;
    if (contains("/Logs/"))
        return LeftoverCategory::logs;
    if (contains("/Preferences/"))
        return LeftoverCategory::preferences;
    return LeftoverCategory::supportFiles;
}

} // namespace veldo::leftovers
