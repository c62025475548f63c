// HelperStagingJournal: the helper daemon's write-ahead journal of moves and put-backs in
// flight, one file per operation in one folder (the state folder's "Staging").
//
// Each record is a binary property list named by its id's canonical text and ".staging",
// mode 0600, written atomically (see HelperStateFiles.h), flushed to disk or not as the writer
// asks; the folder is made 0700 and set to 0700 again on every write. The journal keeps no state
// beyond its folder (a descriptor of it, when its owner keeps one open for a run of writes, see
// HelperMoveLedger::stagingJournal) and does nothing when made. Nothing throws or logs: a write,
// a removal and a listing answer their failure (a record left by a failed removal is found again
// by the next listing), and the listing skips a file it cannot read or decode and leaves it in
// place. Not thread-safe for one folder: the daemon writes under its work lock and reads at
// start-up, before it accepts connections.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "common/HelperStagingRecord.h"
#include "common/HelperStateFiles.h"
#include "platform/MacPath.h"
#include "platform/UUID.h"

namespace veldo::common {

class HelperStagingJournal final
{
public:
    static constexpr std::string_view kFolderName = "Staging"; // inside the state folder
    static constexpr std::string_view kExtension = "staging";

    explicit HelperStagingJournal(platform::MacPath directory);
    // The journal of a folder whose descriptor its owner keeps open (and closes) for a run of
    // writes and removals; copies share it.
    explicit HelperStagingJournal(std::shared_ptr<HelperStateFiles::Folder> folder);

    const platform::MacPath& directory() const { return m_folder->path(); }

    // Writes `record` to its file, replacing an earlier file of the same id; the folder (and
    // its missing parents) made first. Flushed (the default), the record and its name are on the
    // disk when the call answers; unflushed, every process sees it at once, but a power cut may
    // lose it. Fails when the folder could not be made (the errno of that), the record could not
    // be encoded (ErrorCode::invalidArgument) or written; an earlier file of the id then stays
    // as it was.
    Result<void> write(const HelperStagingRecord& record,
                       HelperStateFiles::AtomicDurability durability =
                           HelperStateFiles::AtomicDurability::flushed) const;

    // Deletes the file of `id`; ENOENT when there is none.
    Result<void> remove(const platform::UUID& id) const;

    // The records of the folder's entries whose extension is exactly "staging" (hidden names
    // included; the rest of the name need not be the record's id), sorted by date, earliest
    // first, records of equal date in listing order. A missing folder holds none and is not
    // made; a folder that exists but cannot be listed fails with the errno of the listing (an
    // unreadable journal is not an empty one). Files that cannot be read or decoded are skipped
    // and left in place.
    Result<std::vector<HelperStagingRecord>> records() const;

    // The file name of the record with `id`.
    static std::string fileName(const platform::UUID& id);

private:
    std::shared_ptr<HelperStateFiles::Folder> m_folder;
};

} // namespace veldo::common
