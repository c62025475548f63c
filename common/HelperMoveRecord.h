// HelperMoveRecord: one item the helper moved into a user's Trash, as the move ledger keeps it.
//
// Stored in "Moves.plist" as a dictionary with the keys "id", "uid", "trashPath",
// "originalPath", "identity", "ownerID", "groupID", "date", "parentIdentity", "parentOwnerID",
// "volume" (see HelperRecordCoding.h for the nested identities and stamps). The three optional
// fields are left out when they have no value; reading requires every other key, tolerates the
// optional ones missing and ignores unknown keys.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>

#include "common/HelperFileIdentity.h"
#include "common/HelperVolumeStamp.h"
#include "platform/Clock.h"
#include "platform/PlistValue.h"
#include "platform/UUID.h"

namespace veldo::common {

struct HelperMoveRecord
{
    platform::UUID id;               // names the record's inventory file; fresh for every move
    uid_t uid = 0;                   // the account the item was moved for
    std::string trashPath;           // the account's home + "/.Trash/" + the item's name there
    std::string originalPath;        // the normalised path the item was moved from
    HelperFileIdentity identity;     // of the moved item, birth time included where known
    uid_t ownerID = 0;               // the item's owner before the move
    gid_t groupID = 0;               // the item's group before the move
    platform::Clock::TimePoint date; // when the item was moved
    std::optional<HelperFileIdentity> parentIdentity; // the folder it was moved out of
    std::optional<uid_t> parentOwnerID;               // that folder's owner
    std::optional<HelperVolumeStamp> volume;          // the volume stamp taken at the move

    platform::PlistValue toPlist() const;
    // None when `value` is not a record dictionary as described above.
    static std::optional<HelperMoveRecord> fromPlist(const platform::PlistValue& value);

    friend bool operator==(const HelperMoveRecord&, const HelperMoveRecord&) = default;
};

} // namespace veldo::common
