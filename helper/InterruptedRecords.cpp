// The start-up recovery over the staging journal, and what interrupted runs left beside it.
#include "helper/InterruptedRecords.h"

#include <string>

#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperStateFiles.h"
#include "helper/BuildFloor.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "helper/ToolRunner.h"
#include "platform/AtomicFile.h"
#include "platform/ErrnoName.h"

namespace veldo::helper {

namespace {

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

} // namespace

std::size_t settleInterruptedRecords(common::HelperMoveLedger& ledger,
                                     const std::vector<platform::MacPath>& protectedBundles)
{
    const common::HelperStagingJournal journal = ledger.stagingJournal();
    const auto now = ledger.now();
    std::size_t count = 0;
    removeInterruptedWrites(journal, ledger.directory());
    // A journal that can't be listed is left whole for the next start: settling nothing is safe,
    // dropping records that can't be seen is not.
    const auto records = journal.records();
    if (!records) {
        journalLog().error(
            "The staging journal couldn't be listed (errno %{public}s); nothing settled",
            {std::to_string(records.error().systemErrno)});
        return 0;
    }
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
            journalLog().error(
                "Staging record %{public}s for uid %{public}u kept for the next start",
                {record.id.string(), std::to_string(record.uid)});
        }
    }
    if (count > 0)
        journalLog().notice("Settled %{public}ld interrupted item(s)", {std::to_string(count)});
    if (const auto committed = ledger.commit(); !committed)
        journalLog().error("The move ledger couldn't be flushed to disk (%{public}s)",
                           {platform::errnoName(committed.error().systemErrno)});
    return count;
}

} // namespace veldo::helper
