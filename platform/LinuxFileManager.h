// LinuxFileManager: the file manager on Linux, working by Mac path inside the Mac root.
//
// Trash: the item is renamed (renameat2 with RENAME_NOREPLACE, relative to its parent folder,
// whose links are resolved inside the root) into the Trash of its volume, judged on that
// resolved path: "/Volumes/<v>/.Trashes/<uid>" for an item under "/Volumes/<v>/" (".Trashes"
// made 01333 and "<uid>" made 0700 when missing), else the real user's home ".Trash" (made 0700
// when missing in an existing home). The name is the item's own, else numberedName 2, 3, … up to
// the 10,000th try (then EEXIST); a name counts as taken when the Trash holds it in any letter
// case or Unicode form. Each Trash's folded names are kept between calls while its modification
// time is unchanged, so a run over many items lists the Trash once; the kernel's no-replace
// rename still refuses a taken name the kept names missed, and the next number is tried.
//
// Thread-safe: Trash moves are serialised by one lock; other calls share nothing.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

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

private:
    // The folded names of one Trash folder, valid while the folder's modification time is the
    // one recorded.
    struct TrashNames
    {
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        std::unordered_set<std::string> folded;
    };

    std::mutex m_trashMutex;
    // By the (device, inode) of each Trash folder used; guarded by m_trashMutex.
    std::map<std::pair<std::uint64_t, std::uint64_t>, TrashNames> m_trashNames;
};

} // namespace veldo::platform
