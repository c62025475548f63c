// HelperStagingRecord: the write-ahead record of one move or put-back in flight, kept by the
// staging journal until the item has reached its destination and its staging folder is gone.
//
// Stored as one binary property list per record: a dictionary with the keys "id", "kind"
// ("move" or "restore"), "uid", "gid", "home", "stagingName", "stagingIdentity", "itemIdentity",
// "originalPath", "trashName", "isDaemon", "date", "parentIdentity", "volume" (see
// HelperRecordCoding.h for the nested identities and stamps). "stagingIdentity",
// "parentIdentity" and "volume" are left out when they have no value; reading requires every
// other key, tolerates those three missing, ignores unknown keys, and refuses any other kind.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <sys/types.h>

#include "base/RawValue.h"
#include "common/HelperFileIdentity.h"
#include "common/HelperVolumeStamp.h"
#include "platform/Clock.h"
#include "platform/PlistValue.h"
#include "platform/UUID.h"

namespace veldo::common {

// The prefix of the helper's private staging folders in a Trash (with its trailing space).
inline constexpr std::string_view kStagingPrefix = ".Veldo Helper ";

struct HelperStagingRecord
{
    enum class Kind
    {
        move,    // from its place into the Trash
        restore, // from the Trash back to its place
    };

    platform::UUID id; // names the record's file; fresh for every operation
    Kind kind = Kind::move;
    uid_t uid = 0;           // the account the daemon works for
    gid_t gid = 0;           // that account's primary group
    std::string home;        // that account's home path; its ".Trash" holds the staging folder
    std::string stagingName; // kStagingPrefix + a further fresh UUID's text
    std::optional<HelperFileIdentity> stagingIdentity; // none until the folder has been made
    HelperFileIdentity itemIdentity;
    std::string originalPath; // the source of a move, the destination of a put-back
    std::string trashName;    // the destination of a move, the source of a put-back
    bool isDaemon = false;    // a property list directly in /Library/LaunchDaemons, not a folder
    platform::Clock::TimePoint date;                  // when the record was made
    std::optional<HelperFileIdentity> parentIdentity; // the folder outside the Trash
    std::optional<HelperVolumeStamp> volume;          // taken when the record was made

    // A copy whose staging, item and parent identities are translated to the current mount of
    // the recorded volume (remapDevice with `volume` as the recorded stamp): only identities on
    // the recorded device change, and nothing changes when either stamp is missing or the
    // volume UUIDs differ.
    HelperStagingRecord remapped(const std::optional<HelperVolumeStamp>& current) const;

    platform::PlistValue toPlist() const;
    // None when `value` is not a record dictionary as described above.
    static std::optional<HelperStagingRecord> fromPlist(const platform::PlistValue& value);

    friend bool operator==(const HelperStagingRecord&, const HelperStagingRecord&) = default;
};

} // namespace veldo::common

template <>
struct veldo::base::EnumTraits<veldo::common::HelperStagingRecord::Kind>
{
    using Kind = veldo::common::HelperStagingRecord::Kind;

    static constexpr std::array<std::pair<Kind, std::string_view>, 2> kCases{{
        {Kind::move, "move"},
        {Kind::restore, "restore"},
    }};
};
