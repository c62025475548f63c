// FolderTrail: the open folders along the current path of a depth-first, descriptor-relative
// walk, each with the subfolders it still has to walk; and the identity of a file by (device,
// inode) that such walks use to count a hard-linked file once.
//
// At most `heldDepth` descriptors stay open however deep the walk goes: deeper, the far
// ancestors are closed (their device and inode noted) and reached again through ".." on the way
// back, where a folder that is no longer the same one ends the walk. One walk, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "base/RawValue.h"
#include "base/UniqueFd.h"

namespace veldo::core {

// A file's identity on one machine while it exists.
struct FileKey
{
    dev_t device;
    ino_t inode;
    friend bool operator==(const FileKey&, const FileKey&) = default;
};

struct FileKeyHash
{
    std::size_t operator()(const FileKey& k) const noexcept
    {
        std::size_t seed = std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(k.device));
        base::hashCombine(seed, std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(k.inode)));
        return seed;
    }
};

// Opens the folder `name` in `dirFd` for listing without following a link; O_NONBLOCK, so that
// an entry turned into a FIFO meanwhile cannot hold the open. Invalid on failure.
UniqueFd openFolderAt(int dirFd, const char* name);

class FolderTrail
{
public:
    struct Level
    {
        UniqueFd fd; // closed while far above the current folder
        std::vector<std::string> subfolders;
        std::size_t next = 0; // the next of `subfolders` to walk
        dev_t device = 0;     // noted when `fd` is closed early
        ino_t inode = 0;
    };

    explicit FolderTrail(std::size_t heldDepth) : m_heldDepth(heldDepth) {}

    bool empty() const { return m_levels.empty(); }
    Level& top() { return m_levels.back(); }

    // Enters `folder` (opened by the caller) and answers its level.
    Level& push(UniqueFd folder);
    // Leaves the top folder. False when its parent can no longer be reached as the same folder
    // (moved away during the walk): the walk should then end with what it has.
    bool pop();

private:
    std::size_t m_heldDepth;
    std::vector<Level> m_levels;
};

} // namespace veldo::core
