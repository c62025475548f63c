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
// the temporary files of journal records and of the build floor whose atomic writes were cut off
// (never a ".staging" file: one the journal can't read stays), and the ledger record of a
// put-back cut off after its item was back (see HelperTrashMover::settleStagingRecord). The
// ledger's other records stay, also those of items no longer in the Trash: a later Undo of such an
// item answers that it is no longer there. Runs before the daemon serves requests, on one thread;
// blocks on the file system and on launchctl.
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
