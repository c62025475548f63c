// The start-up recovery over the staging journal, and what interrupted runs left beside it.
#include "helper/InterruptedRecords.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "common/HelperFileAccess.h"
#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperStateFiles.h"
#include "common/HelperVolumeStamp.h"
#include "helper/BuildFloor.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "helper/ToolRunner.h"
#include "platform/AtomicFile.h"
#include "platform/ErrnoName.h"

namespace veldo::helper {

namespace {

constexpr std::string_view kTrashFolderSuffix = "/.Trash";

// Removes the entries of `folder` that `isLeftover` picks, each with its log line.
template <typename Predicate>
void removeLeftWrites(const platform::MacPath& folder, const Predicate& isLeftover)
{
    const auto names = common::HelperStateFiles::list(folder);
    if (!names)
        return; // a missing folder holds nothing; an unreadable one is tried at the next start
    for (const std::string& name : *names) {
        if (!isLeftover(name))
            continue;
        if (const auto removed = common::HelperStateFiles::remove(folder, name))
            journalLog().notice("Removed %{public}s, left by an interrupted write", {name});
        else
            journalLog().error("Couldn't remove %{public}s, left by an interrupted write "
                               "(%{public}s)",
                               {name, platform::errnoName(removed.error().systemErrno)});
    }
}

// The temporary files of journal records and of the build floor whose writes were cut off. A
// ".staging" file is never one of them: the journal reader keeps what it can't read.
void removeInterruptedWrites(const common::HelperStagingJournal& journal,
                             const platform::MacPath& stateDirectory)
{
    removeLeftWrites(journal.directory(), [](std::string_view name) {
        const auto target = platform::atomicWriteTarget(name);
        return target && platform::MacPath(std::string(*target)).pathExtension() ==
                             common::HelperStagingJournal::kExtension;
    });
    removeLeftWrites(stateDirectory, isHighestBuildTemporary);
}

// The ledger's records whose item is no longer in its account's Trash: the Trash opened as the
// account's, on the recorded volume, and no entry under the item's name. Records of a Trash that
// can't be opened or read, and those of `inFlight` (account and Trash path of an operation whose
// journal record stays), are kept.
std::vector<platform::UUID>
recordsOfItemsGone(const common::HelperMoveLedger& ledger,
                   const std::set<std::pair<uid_t, std::string>>& inFlight)
{
    struct OpenTrash
    {
        std::optional<SharedDescriptor> folder;
        std::optional<common::HelperVolumeStamp> stamp;
    };
    std::map<std::pair<uid_t, std::string>, OpenTrash> trashes;
    std::vector<platform::UUID> gone;
    for (const common::HelperMoveRecord& record : ledger.records()) {
        if (inFlight.contains({record.uid, record.trashPath}))
            continue;
        const std::size_t slash = record.trashPath.rfind('/');
        if (slash == std::string::npos)
            continue;
        const std::string trashPath = record.trashPath.substr(0, slash);
        const std::string name = record.trashPath.substr(slash + 1);
        if (!trashPath.ends_with(kTrashFolderSuffix) || !common::isPlainName(name))
            continue;
        auto [place, fresh] = trashes.try_emplace({record.uid, trashPath});
        OpenTrash& trash = place->second;
        if (fresh) {
            HelperTrashMover mover;
            mover.caller.uid = record.uid;
            mover.caller.home = platform::MacPath(
                trashPath.substr(0, trashPath.size() - kTrashFolderSuffix.size()));
            const HelperTrashMover::OpenedTrash opened = mover.openUserTrash();
            if (opened.trash) {
                trash.folder = *opened.trash;
                trash.stamp = common::HelperVolumeStamp::fromDescriptor(*opened.trash);
            }
        }
        if (!trash.folder ||
            (record.volume && (!trash.stamp || trash.stamp->uuid != record.volume->uuid)))
            continue;
        const auto entry = common::statEntry(*trash.folder, name);
        if (entry && !*entry)
            gone.push_back(record.id);
    }
    return gone;
}

// Drops the records of items no longer in the Trash (a put-back cut off after the item was back,
// an item deleted from the Trash), each with its log line.
void removeRecordsOfItemsGone(common::HelperMoveLedger& ledger,
                              const std::set<std::pair<uid_t, std::string>>& inFlight)
{
    std::vector<platform::UUID> gone = recordsOfItemsGone(ledger, inFlight);
    if (gone.empty())
        return;
    std::map<platform::UUID, uid_t> owners;
    for (const common::HelperMoveRecord& record : ledger.records())
        owners.emplace(record.id, record.uid);
    if (const auto removed = ledger.remove(gone); !removed) {
        journalLog().error("The move ledger couldn't be saved without the records of items no "
                           "longer in the Trash (%{public}s)",
                           {platform::errnoName(removed.error().systemErrno)});
        return;
    }
    for (const platform::UUID& id : gone)
        journalLog().notice("Move record %{public}s for uid %{public}u removed: its item is no "
                            "longer in the Trash",
                            {id.string(), std::to_string(owners[id])});
}

} // namespace

std::size_t settleInterruptedRecords(common::HelperMoveLedger& ledger,
                                     const std::vector<platform::MacPath>& protectedBundles)
{
    const common::HelperStagingJournal journal = ledger.stagingJournal();
    const auto now = ledger.now();
    std::size_t count = 0;
    removeInterruptedWrites(journal, ledger.directory());
    // A journal that can't be listed is left whole for the next start: settling nothing is safe,
    // dropping records that can't be seen is not. Nothing is known then of what is in flight, so
    // the ledger stays as it is too.
    const auto records = journal.records();
    if (!records) {
        journalLog().error(
            "The staging journal couldn't be listed (errno %{public}s); nothing settled",
            {std::to_string(records.error().systemErrno)});
        return 0;
    }
    std::set<std::pair<uid_t, std::string>> inFlight;
    for (const common::HelperStagingRecord& record : *records) {
        HelperTrashMover mover;
        mover.caller = HelperCaller{record.uid, record.gid, platform::MacPath(record.home), {}};
        mover.protectedBundles = protectedBundles;
        mover.ledger = &ledger;
        mover.launchctl = runLaunchctl;
        mover.maximumDepth = 256;
        mover.handsOverFoldersForTesting = false;
        mover.isCancelled = [] { return false; };

        bool remove = false;
        switch (mover.settleStagingRecord(record)) {
        case HelperTrashMover::SettlementResult::settled:
            remove = true;
            break;
        case HelperTrashMover::SettlementResult::trashUnavailable:
            remove = !common::accountHomeMatches(record) &&
                     now - record.date >
                         std::chrono::seconds(common::HelperMoveLedger::kMaximumAgeSeconds);
            break;
        case HelperTrashMover::SettlementResult::kept:
            break;
        }
        if (remove) {
            (void)journal.remove(record.id);
            ++count;
        } else {
            // Its item may lie in the staging folder, away from its name in the Trash.
            inFlight.emplace(record.uid, record.home + "/.Trash/" + record.trashName);
            journalLog().error(
                "Staging record %{public}s for uid %{public}u kept for the next start",
                {record.id.string(), std::to_string(record.uid)});
        }
    }
    if (count > 0)
        journalLog().notice("Settled %{public}ld interrupted item(s)", {std::to_string(count)});
    removeRecordsOfItemsGone(ledger, inFlight);
    if (const auto committed = ledger.commit(); !committed)
        journalLog().error("The move ledger couldn't be flushed to disk (%{public}s)",
                           {platform::errnoName(committed.error().systemErrno)});
    return count;
}

} // namespace veldo::helper
