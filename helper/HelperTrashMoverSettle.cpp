// The Trash mover's settlement of one journal record left by a move or put-back that was cut off:
// the staging folder is found (by identity, by name, or relocated), its item brought to a safe
// place, the folder removed when empty, and a launch daemon found back at its place bootstrapped.
//
// A search that fails for a passing reason keeps the record: only proof that the folder is not
// there lets the record go, since a root-owned private folder left in a Trash can be neither
// opened nor emptied by its owner.
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperPathDigest.h"
#include "common/HelperPathRules.h"
#include "common/HelperVolumeStamp.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "platform/ErrnoName.h"

namespace veldo::helper {

using common::HelperFileIdentity;
using common::HelperItemInventory;
using common::HelperStagingRecord;

namespace {

// What a step of the search found out.
enum class Search
{
    found,   // the staging folder
    absent,  // proof that this record's folder is not there
    unknown, // a call failed for a reason that proves nothing
};

// Errors of an open or status that show the entry is not a folder there.
bool provesAbsent(int err)
{
    return err == ENOENT || err == ENOTDIR || err == ELOOP;
}

bool bornInTime(const HelperStat& st, const HelperStagingRecord& record)
{
    const platform::FileTime born = st.birthTime.value_or(st.changeTime);
    const double earliest =
        std::chrono::duration<double>(record.date.time_since_epoch()).count() - 1.0;
    return born.toSeconds() >= earliest;
}

// Opens the folder `name` in `parent` and proves it is `expected`: the same object, sealed
// against `trash`.
Search openSealed(const SharedDescriptor& parent, const std::string& name,
                  const HelperFileIdentity& expected, const SharedDescriptor& trash,
                  std::optional<SharedDescriptor>& opened)
{
    UniqueFd fd(::openat(parent.fd(), name.c_str(), kFolderFlags));
    if (!fd)
        return provesAbsent(errno) ? Search::absent : Search::unknown;
    SharedDescriptor folder(std::move(fd));
    auto st = common::statDescriptor(folder);
    if (!st)
        return Search::unknown;
    if (st->identity() != expected || !isSealedStagingFolder(folder, trash))
        return Search::absent;
    opened = std::move(folder);
    return Search::found;
}

} // namespace

HelperTrashMover::FoundStaging
HelperTrashMover::findStagingFolder(const HelperStagingRecord& record,
                                    const SharedDescriptor& trash,
                                    const std::optional<common::HelperVolumeStamp>& stamp) const
{
    FoundStaging answer;
    auto finish = [&](Search search, FoundStaging::Kind kind,
                      std::optional<SharedDescriptor> folder, const std::string& rawName,
                      const SharedDescriptor& into) {
        if (search == Search::unknown)
            answer.kind = FoundStaging::Kind::unknown;
        else if (search == Search::absent || !folder)
            answer.kind = FoundStaging::Kind::none;
        else {
            answer.kind = kind;
            answer.staging = Staging::make(*folder, rawName, into);
        }
        return answer;
    };
    const std::string& name = record.stagingName;

    if (!record.stagingIdentity) {
        auto entry = common::statEntry(trash, name);
        if (!entry)
            return finish(Search::unknown, {}, {}, name, trash);
        if (!*entry || !(*entry)->isDirectory() || !bornInTime(**entry, record))
            return finish(Search::absent, {}, {}, name, trash);
        std::optional<SharedDescriptor> folder;
        Search search = openSealed(trash, name, (*entry)->identity(), trash, folder);
        if (search == Search::found) {
            auto names = common::listDirectory(*folder);
            if (!names)
                search = Search::unknown;
            else
                for (const std::string& n : *names)
                    if (n != "item")
                        search = Search::absent;
        }
        return finish(search, FoundStaging::Kind::byName, folder, name, trash);
    }

    const HelperFileIdentity& expected = *record.stagingIdentity;
    std::vector<std::string> candidates;
    auto entry = common::statEntry(trash, name);
    if (!entry)
        return finish(Search::unknown, {}, {}, name, trash);
    if (*entry && (*entry)->identity() == expected) {
        candidates.push_back(name);
    } else {
        auto again = common::openPathBeneath(homePath() + "/.Trash", {.readable = true});
        auto againStat = again ? common::statDescriptor(*again) : Result<HelperStat>(again.error());
        auto trashStat = common::statDescriptor(trash);
        if (!againStat || !trashStat || againStat->identity() != trashStat->identity())
            return finish(Search::unknown, {}, {}, name, trash);
        auto names = faultPoint("settle.listing")
                         ? Result<std::vector<std::string>>(Error::fromErrno(EIO))
                         : common::listDirectory(trash);
        if (!names)
            return finish(Search::unknown, {}, {}, name, trash);
        candidates = std::move(*names);
    }
    for (const std::string& candidate : candidates) {
        auto st = common::statEntry(trash, candidate);
        if (!st)
            return finish(Search::unknown, {}, {}, name, trash);
        if (!*st || !(*st)->isDirectory() || (*st)->identity() != expected)
            continue; // vanished since the listing, or another object
        std::optional<SharedDescriptor> folder;
        const Search search = openSealed(trash, candidate, expected, trash, folder);
        return finish(search, FoundStaging::Kind::byIdentity, folder, candidate, trash);
    }

    // Not in the Trash under any name.
    auto trashStat = common::statDescriptor(trash);
    if (!trashStat)
        return finish(Search::unknown, {}, {}, name, trash);
    if (record.volume && stamp && record.volume->uuid != stamp->uuid)
        return finish(Search::absent, {}, {}, name, trash);
    if (expected.device != trashStat->device) {
        auto again = common::statEntry(trash, name);
        if (!again)
            return finish(Search::unknown, {}, {}, name, trash);
        if (!*again || !(*again)->isDirectory() || (*again)->device != trashStat->device ||
            (*again)->inode != expected.inode || !bornInTime(**again, record))
            return finish(Search::absent, {}, {}, name, trash);
        std::optional<SharedDescriptor> folder;
        const Search search = openSealed(trash, name, (*again)->identity(), trash, folder);
        return finish(search, FoundStaging::Kind::relocated, folder, name, trash);
    }
    const common::HelperCurrentPath where = common::currentPath(expected.device, expected.inode);
    if (where.kind != common::HelperCurrentPath::Kind::path)
        return finish(Search::absent, {}, {}, name, trash); // no usable path
    const auto path = common::normalizePath(where.path);
    if (!path || *path == "/")
        return finish(Search::absent, {}, {}, name, trash);
    auto parent = common::openPathBeneath(parentOf(*path), {.readable = true});
    if (!parent)
        return finish(provesAbsent(parent.error().systemErrno) ? Search::absent : Search::unknown,
                      {}, {}, name, trash);
    const std::string folderName = lastComponent(*path);
    auto there = common::statEntry(*parent, folderName);
    if (!there)
        return finish(Search::unknown, {}, {}, name, trash);
    if (!*there || !(*there)->isDirectory() || (*there)->identity() != expected ||
        !bornInTime(**there, record))
        return finish(Search::absent, {}, {}, name, trash);
    std::optional<SharedDescriptor> folder;
    const Search search = openSealed(*parent, folderName, expected, trash, folder);
    return finish(search, FoundStaging::Kind::relocated, folder, folderName, *parent);
}

std::optional<SharedDescriptor>
HelperTrashMover::openOriginalParent(const std::string& originalPath,
                                     const std::optional<HelperFileIdentity>& identity) const
{
    if (!identity)
        return std::nullopt;
    auto parent = common::openPathBeneath(parentOf(originalPath));
    if (!parent)
        return std::nullopt;
    auto st = common::statDescriptor(*parent);
    if (!st || st->identity() != *identity)
        return std::nullopt;
    return *parent;
}

bool HelperTrashMover::returnToOriginalPlace(
    const SharedDescriptor& folder, const std::string& originalPath,
    const std::optional<HelperFileIdentity>& parentIdentity) const
{
    const auto parent = openOriginalParent(originalPath, parentIdentity);
    return parent && moveStagedItem(folder, *parent, lastComponent(originalPath));
}

namespace {

// Gives the folders of an interrupted put-back's tree back to the caller, as the hand-over did.
struct Regrant
{
    const HelperTrashMover& mover;
    const HelperStagingRecord& record;
    const HelperItemInventory& inventory;
    std::int64_t device;

    bool isRecordedFolder(const HelperStat& st, std::string_view path) const
    {
        const auto it = inventory.entries.find(st.inode);
        return it != inventory.entries.end() &&
               it->second.pathHash == common::HelperPathDigest::of(path) &&
               S_ISDIR(it->second.mode);
    }

    void walk(const SharedDescriptor& folder, const std::string& path, int depth) const
    {
        auto st = common::statDescriptor(folder);
        if (!st || st->device != device || !isRecordedFolder(*st, path))
            return;
        if (depth < mover.maximumDepth) {
            auto names = common::listDirectory(folder);
            for (const std::string& name : names ? *names : std::vector<std::string>{}) {
                auto child = common::statEntry(folder, name);
                if (!child || !*child || !(*child)->isDirectory() || (*child)->device != device)
                    continue;
                UniqueFd fd(::openat(folder.fd(), name.c_str(), kFolderFlags));
                if (!fd)
                    continue;
                const SharedDescriptor childFolder(std::move(fd));
                auto opened = common::statDescriptor(childFolder);
                if (opened && opened->identity() == (*child)->identity())
                    walk(childFolder, common::concatenateBytes(path, name), depth + 1);
            }
        }
        grantFolder(folder, record.uid, record.gid, inventory.entries.at(st->inode).mode,
                    journalLog());
    }
};

} // namespace

void HelperTrashMover::regrantInterruptedRestore(const HelperStagingRecord& record,
                                                 const SharedDescriptor& folder) const
{
    if (record.kind != HelperStagingRecord::Kind::restore || !ledger)
        return;
    auto item = common::statEntry(folder, "item");
    if (!item || !*item || !(*item)->isDirectory() || (*item)->identity() != record.itemIdentity)
        return;
    const auto moved = ledger->record(record.home + "/.Trash/" + record.trashName, record.uid);
    if (!moved || moved->originalPath != record.originalPath)
        return;
    const auto inventory = readInventory(*ledger, moved->id);
    if (!inventory || !inventory->foldersGranted)
        return;
    UniqueFd fd(::openat(folder.fd(), "item", kFolderFlags));
    if (!fd)
        return;
    const SharedDescriptor itemFolder(std::move(fd));
    auto st = common::statDescriptor(itemFolder);
    if (!st || st->identity() != (*item)->identity())
        return;
    Regrant{*this, record, *inventory, st->device}.walk(itemFolder, {}, 0);
}

HelperTrashMover::SettlementResult
HelperTrashMover::settleStagingRecord(const HelperStagingRecord& given) const
{
    // 1: a record the daemon can't have written is dropped untouched.
    const auto original = common::normalizePath(given.originalPath);
    if (given.uid != caller.uid || !common::isPlainName(given.stagingName) ||
        !given.stagingName.starts_with(common::kStagingPrefix) || !original)
        return SettlementResult::settled;

    // 2, 3: the Trash, on the recorded volume; identities translated to its current mount.
    const OpenedTrash opened = openUserTrash();
    if (!opened.trash)
        return SettlementResult::trashUnavailable;
    const SharedDescriptor trash = *opened.trash;
    const auto stamp = common::HelperVolumeStamp::fromDescriptor(trash);
    if (given.volume && (!stamp || stamp->uuid != given.volume->uuid))
        return SettlementResult::kept;
    const HelperStagingRecord record = given.remapped(stamp);

    // 4, 5: the folder and its item.
    const FoundStaging found = findStagingFolder(record, trash, stamp);
    if (found.kind == FoundStaging::Kind::unknown)
        return SettlementResult::kept;
    if (found.staging) {
        const Staging& staging = *found.staging;
        auto item = common::statEntry(staging.folder, "item");
        if (item && *item) {
            regrantInterruptedRestore(record, staging.folder);
            const bool putBack =
                found.kind == FoundStaging::Kind::byIdentity &&
                record.kind == HelperStagingRecord::Kind::move &&
                (*item)->identity() == record.itemIdentity &&
                returnToOriginalPlace(staging.folder, *original, record.parentIdentity);
            if (!putBack)
                (void)freeName(record.trashName, staging.folder, staging.trash);
            faultPoint("settle.released");
        }

        // 6: the folder goes when empty.
        (void)common::removeDirectoryIfSame(staging.trash, staging.rawName, staging.folder);
        faultPoint("settle.folderRemoved");
        auto names = common::listDirectory(staging.folder);
        if (!names || !names->empty())
            return SettlementResult::kept;
    }

    // 7: a launch daemon back at its place goes back into launchd; a put-back whose item is back
    // at its place loses its ledger record, which it was cut off before removing.
    const bool daemon = record.isDaemon && common::isLaunchDaemonPlist(*original);
    if (daemon || record.kind == HelperStagingRecord::Kind::restore) {
        if (const auto parent = openOriginalParent(*original, record.parentIdentity)) {
            auto there = common::statEntry(*parent, lastComponent(*original));
            if (there && *there && (*there)->identity() == record.itemIdentity) {
                if (daemon && launchctl)
                    launchctl({"bootstrap", "system", *original});
                if (record.kind == HelperStagingRecord::Kind::restore)
                    forgetPutBackItem(record);
            }
        }
    }
    return SettlementResult::settled;
}

void HelperTrashMover::forgetPutBackItem(const HelperStagingRecord& record) const
{
    if (!ledger)
        return;
    const auto moved = ledger->record(record.home + "/.Trash/" + record.trashName, record.uid);
    // Only the record of the item put back: a later move may have reused its Trash name.
    if (!moved || moved->originalPath != record.originalPath ||
        moved->identity != record.itemIdentity)
        return;
    if (const auto removed = ledger->remove(moved->id); !removed) {
        journalLog().error("The move ledger couldn't be saved without the record of an item put "
                           "back (%{public}s)",
                           {platform::errnoName(removed.error().systemErrno)});
        return;
    }
    journalLog().notice("Move record %{public}s for uid %{public}u removed: its item is back at "
                        "its place",
                        {moved->id.string(), std::to_string(record.uid)});
}

} // namespace veldo::helper
