// Folder readings kept while their folders' identity and times stay as they were read.
#include "app/leftovers/FolderListingCache.h"

#include <algorithm>

#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::leftovers {

using platform::FileStamp;
using platform::MacPath;

FolderListing::FolderListing(MacPath folder, FileStamp stamp, std::vector<std::string> names)
    : m_folder(std::move(folder)), m_stamp(stamp), m_names(std::move(names))
{
    for (const std::string& name : m_names) {
        if (!name.empty() && name.front() != '.')
            m_visible.push_back(name);
    }
    std::sort(m_visible.begin(), m_visible.end());
}

const std::vector<std::string>& FolderListing::loweredNames() const
{
    std::call_once(m_lowered, [this] {
        m_loweredNames.reserve(m_visible.size());
        for (const std::string& name : m_visible)
            m_loweredNames.push_back(platform::lowercased(name));
    });
    return m_loweredNames;
}

const std::string* FolderListing::entryFor(std::string_view name) const
{
    std::call_once(m_indexed, [this] {
        m_exact.reserve(m_names.size());
        m_folded.reserve(m_names.size());
        for (std::size_t i = 0; i < m_names.size(); ++i) {
            m_exact.emplace(m_names[i], i);
            m_folded.emplace(platform::foldForComparison(m_names[i]), i);
        }
    });
    if (auto exact = m_exact.find(name); exact != m_exact.end())
        return &m_names[exact->second];
    if (auto folded = m_folded.find(platform::foldForComparison(name)); folded != m_folded.end())
        return &m_names[folded->second];
    return nullptr;
}

const std::vector<std::optional<LeftoverScanner::LaunchdJobFacts>>&
FolderListing::launchdJobs() const
{
    std::call_once(m_jobsRead, [this] {
        m_jobs.reserve(m_visible.size());
        for (const std::string& name : m_visible) {
            if (LeftoverScanner::isPlistName(name))
                m_jobs.push_back(LeftoverScanner::LaunchdJobFacts::read(pathOf(name)));
            else
                m_jobs.emplace_back();
        }
    });
    return m_jobs;
}

std::shared_ptr<const FolderListing> FolderListingCache::listing(const MacPath& folder,
                                                                 SeenStamp seen)
{
    if (auto kept = keptCurrent(folder, seen))
        return kept;
    return readNow(folder);
}

std::optional<std::string> FolderListingCache::findEntry(const MacPath& folder,
                                                         std::string_view name)
{
    if (auto found = lookUp(folder, name))
        return std::move(found->name);
    return std::nullopt;
}

std::optional<FolderListingCache::Found>
FolderListingCache::lookUp(const MacPath& folder, std::string_view name, SeenStamp seen)
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return std::nullopt;
    auto reading = keptCurrent(folder, seen);
    if (!reading) {
        // One status read answers the common case, an entry spelt as stored, without listing.
        if (auto status = platform::fileStatus(folder.appendingPathComponent(name),
                                               platform::FollowLinks::no)) {
            Found found{std::string(name), std::nullopt};
            if (status->type == platform::FileType::directory)
                found.folderStamp = FileStamp::of(*status);
            return found;
        }
        reading = readNow(folder);
    }
    if (!reading)
        return std::nullopt;
    if (const std::string* stored = reading->entryFor(name))
        return Found{*stored, std::nullopt};
    return std::nullopt;
}

std::shared_ptr<const FolderListing> FolderListingCache::keptCurrent(const MacPath& folder,
                                                                     SeenStamp seen)
{
    std::shared_ptr<const FolderListing> kept;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_kept.find(folder.path());
        if (found == m_kept.end())
            return nullptr;
        kept = found->second;
    }
    if ((seen ? *seen : FileStamp::of(folder)) == kept->stamp())
        return kept;
    std::lock_guard lock(m_mutex);
    if (const auto found = m_kept.find(folder.path());
        found != m_kept.end() && found->second == kept)
        m_kept.erase(found);
    return nullptr;
}

std::shared_ptr<const FolderListing> FolderListingCache::readNow(const MacPath& folder)
{
    // The clock first: a change after this moment moves the folder's times past what is read.
    const std::int64_t readAt = m_clock();
    auto reading = platform::readFolder(folder);
    if (!reading)
        return nullptr;
    auto listing = std::make_shared<const FolderListing>(folder, FileStamp::of(reading->status),
                                                         std::move(reading->names));
    if (!listing->stamp().isRacy(readAt)) {
        std::lock_guard lock(m_mutex);
        m_kept.insert_or_assign(folder.path(), listing);
    }
    return listing;
}

} // namespace veldo::leftovers
