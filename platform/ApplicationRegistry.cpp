// The Linux application registry: an index of the Mac root's application folders by bundle
// identifier, rebuilt when a folder it read has changed.
#include "platform/ApplicationRegistry.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/FileStamp.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/MacRoot.h"
#include "platform/Package.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoPlistBytes = 4u * 1024u * 1024u;

// What the index saw of one item it read.
struct Stamp
{
    MacPath path;
    FileStamp seen;
};

// The bundles of every application folder by folded identifier, in search order, with the
// stamps of what was read to find them.
struct Index
{
    std::string root;
    MacPath home;
    std::vector<Stamp> stamps;
    std::unordered_map<std::string, std::vector<MacPath>> bundles;
    bool complete = false;
    bool racy = false;

    bool isCurrent() const
    {
        if (root != macRoot() || home != homeDirectory())
            return false;
        return std::all_of(stamps.begin(), stamps.end(),
                           [](const Stamp& s) { return FileStamp::of(s.path) == s.seen; });
    }
};

template <typename Expired>
class IndexBuilder
{
public:
    explicit IndexBuilder(const Expired& expired) : m_expired(expired) {}

    Index build()
    {
        m_startedAt = realTimeNanoseconds();
        m_index.root = macRoot();
        m_index.home = homeDirectory();
        for (const MacPath& folder : searchFolders()) {
            if (m_expired())
                return std::move(m_index);
            read(folder);
        }
        m_index.complete = !m_expired();
        return std::move(m_index);
    }

private:
    std::vector<MacPath> searchFolders()
    {
        std::vector<MacPath> folders{MacPath("/Applications"),
                                     homeDirectory().appendingPathComponent("Applications"),
                                     MacPath("/System/Applications")};
        const MacPath volumes("/Volumes");
        stamp(volumes);
        for (const auto& volume : sortedVisibleNames(volumes))
            folders.push_back(
                volumes.appendingPathComponent(volume).appendingPathComponent("Applications"));
        return folders;
    }

    // A folder's bundles, and those of its plain subfolders.
    void read(const MacPath& folder)
    {
        stamp(folder);
        const AppBundleListing how{.sorted = true,
                                   .onSubfolder = [this](const MacPath& sub) { stamp(sub); }};
        for (const auto& bundle : appBundlesIn(folder, how))
            consider(bundle);
    }

    void consider(const MacPath& bundle)
    {
        if (m_expired())
            return;
        const MacPath infoPath = bundle.appendingPathComponent("Contents/Info.plist");
        const auto info = readPropertyListFile(infoPath, kMaxInfoPlistBytes);
        const auto identifier = info ? info->stringFor("CFBundleIdentifier") : std::nullopt;
        if (!identifier) {
            // Still being copied, perhaps: the information dictionary may appear later.
            stamp(bundle);
            stamp(bundle.appendingPathComponent("Contents"));
            stamp(infoPath);
            return;
        }
        m_index.bundles[foldForComparison(*identifier)].push_back(bundle);
    }

    void stamp(const MacPath& path)
    {
        Stamp s{path, FileStamp::of(path)};
        // A folder changed this close to the moment it was read may change again without its
        // times moving: an index that read it is not kept.
        if (s.seen.isRacy(m_startedAt))
            m_index.racy = true;
        m_index.stamps.push_back(std::move(s));
    }

    const Expired& m_expired;
    Index m_index;
    std::int64_t m_startedAt = 0;
};

class FolderApplicationRegistry final : public ApplicationRegistry
{
public:
    FolderApplicationRegistry() : m_hook(addMacRootResetHook([this] { forget(); })) {}

    std::vector<MacPath> applicationURLs(std::string_view bundleIdentifier) const override
    {
        return searchApplications(bundleIdentifier, std::chrono::steady_clock::time_point::max(),
                                  {});
    }

    std::vector<MacPath> searchApplications(std::string_view bundleIdentifier,
                                            std::chrono::steady_clock::time_point deadline,
                                            std::stop_token stop) const override
    {
        if (bundleIdentifier.empty())
            return {};
        auto expired = [&] {
            return stop.stop_requested() || std::chrono::steady_clock::now() >= deadline;
        };
        const std::shared_ptr<const Index> index = currentIndex(expired);
        const auto found = index->bundles.find(foldForComparison(bundleIdentifier));
        return found == index->bundles.end() ? std::vector<MacPath>{} : found->second;
    }

private:
    // The kept index when nothing it read has changed; else a new one, kept when it was built
    // whole and no folder it read was changing meanwhile. An index cut short by `expired`
    // answers with the bundles found until then, as a search that ran out of time would.
    template <typename Expired>
    std::shared_ptr<const Index> currentIndex(const Expired& expired) const
    {
        std::lock_guard lock(m_mutex);
        if (m_index && m_index->isCurrent())
            return m_index;
        auto index = std::make_shared<const Index>(IndexBuilder<Expired>(expired).build());
        m_index = index->complete && !index->racy ? index : nullptr;
        return index;
    }

    void forget()
    {
        std::shared_ptr<const Index> old;
        std::lock_guard lock(m_mutex);
        old.swap(m_index);
    }

    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const Index> m_index;
    MacRootResetHook m_hook; // last: unregistered before the index goes
};

} // namespace

const ApplicationRegistry& systemApplicationRegistry()
{
    static const FolderApplicationRegistry registry;
    return registry;
}

} // namespace veldo::platform
