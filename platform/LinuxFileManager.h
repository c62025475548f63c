// LinuxFileManager: the file manager on Linux, working by Mac path inside the Mac root.
//
// Trash: the item is renamed (renameat2 with RENAME_NOREPLACE, relative to its parent folder,
// whose links are resolved inside the root) into the Trash of its volume, judged on that
// resolved path: "/Volumes/<v>/.Trashes/<uid>" for an item under "/Volumes/<v>/" (".Trashes"
// made 01333 and "<uid>" made 0700 when missing), else the real user's home ".Trash" (made 0700
// when missing in an existing home). The name is the item's own, else numberedName 2, 3, … up to
// the 10,000th try (then EEXIST); a name counts as taken when the Trash holds it in any letter
// case or Unicode form.
//
// A Trash run (beginTrashRun) looks the home folder up once, opens each Trash folder it uses
// once and lists its names once; from then on it knows the names it gave, and a name that an
// entry made by someone else during the run holds exactly is refused by the kernel's no-replace
// rename and the next number is tried, so nothing is ever replaced. (An entry made meanwhile
// whose name differs only in letter case or Unicode form from one the run then gives is not
// seen: both stay, side by side.) Before each move the run checks that its Trash folder is still
// the one at its place, and opens the new one when it is not. The item's folder, opened for its
// attribute read, serves its move that follows. trashItem alone is a run of one item.
//
// Thread-safe: the file manager keeps no state; each run belongs to one thread at a time.
#pragma once

#include <memory>
#include <optional>

#include "platform/FileManager.h"

namespace veldo::platform {

class LinuxFileManager final : public FileManager
{
public:
    // The most numbered names tried for one item.
    static constexpr int kMaxTrashNameTries = 10000;

    FileResult<std::optional<MacPath>> trashItem(const MacPath& url) override;
    FileResult<void> moveItem(const MacPath& from, const MacPath& to) override;
    FileResult<FileStatus> attributesOfItem(const MacPath& path) override;
    FileResult<void> createDirectory(const MacPath& url, bool withIntermediateDirectories) override;
    bool isWritableFile(const MacPath& path) override;
    std::unique_ptr<TrashRun> beginTrashRun() override;
};

} // namespace veldo::platform
