// The start-up recovery over the staging journal.
#include "helper/InterruptedRecords.h"

#include <string>

#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "helper/ToolRunner.h"

namespace veldo::helper {

std::size_t settleInterruptedRecords(common::HelperMoveLedger& ledger,
                                     const std::vector<platform::MacPath>& protectedBundles)
{
    const common::HelperStagingJournal journal(ledger.directory().appendingPathComponent(
        std::string(common::HelperStagingJournal::kFolderName)));
    const auto now = ledger.now();
    std::size_t count = 0;
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
    return count;
}

} // namespace veldo::helper
