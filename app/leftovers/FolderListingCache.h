// FolderListingCache: one reading of each folder that the leftover rules look into, shared by
// the questions of one scan or of a batch of scans.
//
// The rules ask two things of a folder, again and again for every app of a batch: which entry
// a case-insensitive Mac volume answers for a name they built, and what the folder holds (one
// level). The cache keeps each folder's reading, and with it the entries' folded names and the
// launchd jobs of its property lists, each made once, when first needed.
//
// A kept reading answers only while the folder's identity (device, inode, birth time) and times
// (modification, status change) are those it was read with: every question stats the folder
// first (or takes the status that the lookup of the folder itself read just before), and a
// folder that changed is read again. Creating, removing or renaming an entry changes both times
// of the folder. A reading made so soon after the folder's last change that a further change
// could carry the same times (FileStamp::isRacy: the file system's clock moves in ticks)
// answers the question it was made for and is not kept. The folder's stamp does not cover the
// contents of its files: a launchd property list rewritten in place (no entry created, removed
// or renamed), or a link on its program's path changed, is seen once the folder changes or by
// the next cache (the next batch or single scan), as the application registry's index sees an
// Info.plist.
//
// Thread-safe: the scans of a batch run at once. Every call blocks on the file system; nothing
// fails: a folder that can't be read answers nothing and is not kept. Readings never change once
// made and stay valid for as long as a caller holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/leftovers/NameMatchers.h"
#include "platform/FileStamp.h"
#include "platform/MacPath.h"

namespace veldo::leftovers {

// One reading of a folder.
class FolderListing
{
public:
    // `names` in the file system's order.
    FolderListing(platform::MacPath folder, platform::FileStamp stamp,
                  std::vector<std::string> names);

    const platform::MacPath& folder() const { return m_folder; }
    const platform::FileStamp& stamp() const { return m_stamp; }

    // The entries not starting with ".", sorted by their bytes.
    const std::vector<std::string>& visibleNames() const { return m_visible; }
    // visibleNames() lower-cased (platform::lowercased), in the same order. Made on the first
    // call.
    const std::vector<std::string>& loweredNames() const;
    platform::MacPath pathOf(std::string_view name) const
    {
        return m_folder.appendingPathComponent(name);
    }

    // The stored name that a case-insensitive Mac volume answers for `name`: `name` itself when
    // the folder holds it, else the first entry (in the file system's order) whose name folds
    // equal (NFD, case folded); null when none does.
    const std::string* entryFor(std::string_view name) const;

    // For each of visibleNames(), in its order: the launchd job read from it when its extension
    // is "plist" and it holds one, else none. Read on the first call.
    const std::vector<std::optional<LeftoverScanner::LaunchdJobFacts>>& launchdJobs() const;

private:
    platform::MacPath m_folder;
    platform::FileStamp m_stamp;
    std::vector<std::string> m_names;
    std::vector<std::string> m_visible;

    mutable std::once_flag m_lowered;
    mutable std::vector<std::string> m_loweredNames;

    mutable std::once_flag m_indexed;
    mutable std::unordered_map<std::string_view, std::size_t> m_exact; // into m_names
    mutable std::unordered_map<std::string, std::size_t> m_folded; // folded → first in m_names

    mutable std::once_flag m_jobsRead;
    mutable std::vector<std::optional<LeftoverScanner::LaunchdJobFacts>> m_jobs;
};

class FolderListingCache
{
public:
    // The clock that tells whether a reading is racy: platform::realTimeNanoseconds, or a test's.
    using Clock = std::int64_t (*)();

    explicit FolderListingCache(Clock clock = platform::realTimeNanoseconds) : m_clock(clock) {}
    FolderListingCache(const FolderListingCache&) = delete;
    FolderListingCache& operator=(const FolderListingCache&) = delete;

    // The status of a folder as a question read it a moment ago, so that the question about an
    // entry of that folder which follows at once need not read it again.
    using SeenStamp = const platform::FileStamp*;

    // The reading of `folder` (links followed) as it is now: the kept one while the folder has
    // not changed, else a new one. Null when the folder can't be read. `seen`, when given, is
    // the folder's stamp as just read (see lookUp); the folder is then not stat'ed again.
    std::shared_ptr<const FolderListing> listing(const platform::MacPath& folder,
                                                 SeenStamp seen = nullptr);

    // The name of the entry in `folder` that a case-insensitive Mac volume answers for `name`,
    // as platform::findEntryCaseInsensitive answers it: `name` itself when it exists, else the
    // first entry whose name folds equal. None when there is none, the folder can't be read, or
    // `name` can't be one entry (empty, ".", "..", holding "/" or NUL). Without a kept reading
    // an existing `name` is answered without reading the folder.
    std::optional<std::string> findEntry(const platform::MacPath& folder, std::string_view name);

    // findEntry's answer, and, when the answer came from reading the entry's own status and the
    // entry is a folder (not a link), that status as a stamp: the SeenStamp of a question about
    // the entry that follows at once. `seen` is `folder`'s own, as for listing().
    struct Found
    {
        std::string name;
        std::optional<platform::FileStamp> folderStamp;
    };
    std::optional<Found> lookUp(const platform::MacPath& folder, std::string_view name,
                                SeenStamp seen = nullptr);

private:
    std::shared_ptr<const FolderListing> keptCurrent(const platform::MacPath& folder,
                                                     SeenStamp seen);
    std::shared_ptr<const FolderListing> readNow(const platform::MacPath& folder);

    const Clock m_clock;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<const FolderListing>> m_kept;
};

} // namespace veldo::leftovers
