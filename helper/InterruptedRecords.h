// settleInterruptedRecords: the helper daemon's start-up recovery. Every record left in the
// staging journal belongs to a move or put-back that was cut off; each is settled by a Trash
// mover working for the record's account (see HelperTrashMover::settleStagingRecord).
//
// A settled record's file is removed. A record whose Trash could not be opened is removed only
// when its account no longer has the recorded home and the record is more than 30 days old (by
// the ledger's clock). Every other record stays and is logged at error level in the "journal"
// category as "Staging record <id> for uid <uid> kept for the next start"; when any record was
// removed, "Settled <n> interrupted item(s)" follows at default level.
//
// What interrupted runs leave beside the journal goes too, each with a line in the same category:
// first the temporary files of journal records and of the build floor whose atomic writes were cut
// off (never a ".staging" file: one the journal can't read stays); after the records, the move
// ledger's records whose item is no longer in the account's Trash (a put-back cut off after the
// item was back, before its record went), unless the account's Trash can't be opened as the
// account's, lies on another volume than recorded, or the item's journal record stays. Nothing of
// the ledger is touched when the journal can't be listed. Runs before the daemon serves requests,
// on one thread; blocks on the file system and on launchctl.
#pragma once

#include <cstddef>
#include <vector>

#include "common/HelperMoveLedger.h"
#include "platform/MacPath.h"

namespace veldo::helper {

// Settles every journal record beside `ledger`; answers how many records were removed.
std::size_t settleInterruptedRecords(common::HelperMoveLedger& ledger,
                                     const std::vector<platform::MacPath>& protectedBundles);

} // namespace veldo::helper
