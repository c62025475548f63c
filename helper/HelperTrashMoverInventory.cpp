// The Trash mover's inventory walk, folder hand-over and other-apps check over a staged item.
//
// Every step works relative to open folders, never follows a link, and proves each folder it
// enters by identity (device, inode, birth time) against the status of its entry and by its file
// system against the staged item's.
#include <fcntl.h>
#include <unistd.h>

#include "common/HelperACL.h"
#include "common/HelperPathDigest.h"
#include "common/HelperPathRules.h"
#include "helper/FolderRules.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"

namespace veldo::helper {

using common::HelperItemInventory;
using common::HelperPathDigest;

namespace {

HelperItemInventory::Entry entryFor(const HelperStat& st, std::string_view relativePath)
{
    HelperItemInventory::Entry entry;
    entry.pathHash = HelperPathDigest::of(relativePath);
    entry.uid = st.uid;
    entry.gid = st.gid;
    entry.mode = static_cast<std::uint16_t>(st.mode);
    entry.flags = st.flags & common::kComparedFlagsMask;
    entry.aclHash = 0;
    entry.links = st.isDirectory()
                      ? 0
                      : static_cast<std::uint16_t>(std::min<std::uint64_t>(st.links, 0xffff));
    return entry;
}

// Opens the folder `name` in `parent` and proves it is the entry `expected` on the file system
// `fileSystem`; none otherwise.
std::optional<SharedDescriptor>
openProvenFolder(const SharedDescriptor& parent, const std::string& name,
                 const HelperStat& expected,
                 const std::optional<common::HelperFileSystemInfo>& fileSystem)
{
    UniqueFd fd(::openat(parent.fd(), name.c_str(), kFolderFlags));
    if (!fd)
        return std::nullopt;
    SharedDescriptor folder(std::move(fd));
    auto st = common::statDescriptor(folder);
    if (!st || st->identity() != expected.identity() || !fileSystem ||
        !common::isOnFileSystem(folder, *fileSystem))
        return std::nullopt;
    return folder;
}

bool isUnchangedFolder(const HelperItemInventory& inventory, const HelperStat& st,
                       std::string_view relativePath)
{
    const auto it = inventory.entries.find(st.inode);
    return it != inventory.entries.end() &&
           it->second.pathHash == HelperPathDigest::of(relativePath) && it->second.uid == st.uid &&
           it->second.gid == st.gid && S_ISDIR(it->second.mode);
}

struct Walk
{
    const HelperTrashMover& mover;
    std::int64_t device;
    std::optional<common::HelperFileSystemInfo> fileSystem;
    HelperItemInventory& inventory;
    bool handOver;

    void insert(std::uint64_t key, const HelperItemInventory::Entry& entry)
    {
        if (!inventory.entries.insert_or_assign(key, entry).second)
            inventory.isComplete = false; // the same inode twice: a hard link inside the tree
    }

    // Whether a non-folder lets the hand-over go on.
    bool keepsHandOver(const SharedDescriptor& folder, const std::string& name,
                       const HelperStat& st) const
    {
        if (st.isSymbolicLink())
            return st.uid != mover.caller.uid;
        if (!st.isRegularFile())
            return false;
        if (st.uid == mover.caller.uid || (st.mode & (S_IWGRP | S_IWOTH | S_ISUID | S_ISGID)) != 0)
            return false;
        // The ACL is read through a path-only descriptor, so no file of the caller's is opened
        // for reading; it must still be the object the listing's status described.
        UniqueFd fd(::openat(folder.fd(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!fd)
            return false;
        auto opened = common::statDescriptor(fd.get());
        if (!opened || opened->identity() != st.identity())
            return false;
        return common::extendedACLState(fd.get()) == false;
    }

    void walk(const SharedDescriptor& folder, const std::string& relativePath, int depth)
    {
        if (mover.isCancelled && mover.isCancelled()) {
            inventory.isComplete = false;
            return;
        }
        auto names = common::listDirectory(folder);
        if (!names) {
            inventory.isComplete = false;
            return;
        }
        for (const std::string& name : *names) {
            auto st = common::statEntry(folder, name);
            if (!st || !*st) {
                inventory.isComplete = false;
                continue;
            }
            const std::string childPath = common::concatenateBytes(relativePath, name);
            HelperItemInventory::Entry entry = entryFor(**st, childPath);
            if (!(*st)->isDirectory()) {
                insert((*st)->inode, entry);
                if (handOver && !keepsHandOver(folder, name, **st))
                    handOver = false;
                continue;
            }
            if ((*st)->device != device || depth >= mover.maximumDepth) {
                insert((*st)->inode, entry);
                inventory.isComplete = false;
                continue;
            }
            auto child = openProvenFolder(folder, name, **st, fileSystem);
            if (!child) {
                insert((*st)->inode, entry);
                inventory.isComplete = false;
                continue;
            }
            entry.aclHash = common::aclDigest(child->fd()).value_or(0);
            insert((*st)->inode, entry);
            if (handOver && !FolderRules::isForeignReadOnlyFolder(
                                **st, common::extendedACLState(child->fd()), mover.caller))
                handOver = false;
            walk(*child, childPath, depth + 1);
        }
    }
};

} // namespace

HelperTrashMover::InventoryOutcome
HelperTrashMover::buildInventory(const SharedDescriptor& staging, const HelperStat& itemStat,
                                 const SharedDescriptor& parent) const
{
    InventoryOutcome outcome;
    HelperItemInventory& inventory = outcome.inventory;
    inventory.isComplete = true;
    inventory.foldersGranted = false;
    inventory.entries.emplace(itemStat.inode, entryFor(itemStat, {}));
    if (!itemStat.isDirectory())
        return outcome;

    const auto fileSystem = common::fileSystemInfo(staging, mountTable());
    auto item = openProvenFolder(staging, "item", itemStat, fileSystem);
    if (!item) {
        inventory.isComplete = false;
        return outcome;
    }
    inventory.entries[itemStat.inode].aclHash = common::aclDigest(item->fd()).value_or(0);

    Walk walk{*this, itemStat.device, fileSystem, inventory,
              FolderRules::isForeignReadOnlyFolder(itemStat, common::extendedACLState(item->fd()),
                                                   caller) &&
                  !FolderRules::isOpenToOthers(parent.fd(), caller)};
    walk.walk(*item, {}, 0);
    outcome.handOver = inventory.isComplete && (walk.handOver || handsOverFoldersForTesting);
    outcome.itemFolder = std::move(item);
    return outcome;
}

namespace {

struct Grant
{
    const HelperTrashMover& mover;
    const HelperItemInventory& inventory;
    std::int64_t device;
    std::optional<common::HelperFileSystemInfo> fileSystem;

    void walk(const SharedDescriptor& folder, const std::string& relativePath, int depth) const
    {
        auto names = common::listDirectory(folder);
        for (const std::string& name : names ? *names : std::vector<std::string>{}) {
            auto st = common::statEntry(folder, name);
            if (!st || !*st || !(*st)->isDirectory() || (*st)->device != device ||
                depth >= mover.maximumDepth)
                continue;
            const std::string childPath = common::concatenateBytes(relativePath, name);
            if (!isUnchangedFolder(inventory, **st, childPath))
                continue;
            if (auto child = openProvenFolder(folder, name, **st, fileSystem))
                walk(*child, childPath, depth + 1);
        }
        auto st = common::statDescriptor(folder);
        if (!st)
            return;
        grantFolder(folder, mover.caller.uid, mover.caller.gid, st->mode, serviceLog());
    }
};

} // namespace

void HelperTrashMover::handOverFolders(const SharedDescriptor& item,
                                       const HelperItemInventory& inventory) const
{
    auto st = common::statDescriptor(item);
    const auto fileSystem = common::fileSystemInfo(item, mountTable());
    if (!st || !fileSystem || !isUnchangedFolder(inventory, *st, {}))
        return;
    Grant{*this, inventory, st->device, fileSystem}.walk(item, {}, 0);
}

HelperTrashMover::OtherApps
HelperTrashMover::checkForOtherApps(const SharedDescriptor& staging) const
{
    UniqueFd fd(::openat(staging.fd(), "item", kFolderFlags));
    if (!fd)
        return OtherApps::couldNotCheck;
    const SharedDescriptor item(std::move(fd));
    auto st = common::statDescriptor(item);
    if (!st)
        return OtherApps::couldNotCheck;
    if (!FolderRules::canReadAndSearch(*st, common::extendedACLState(item.fd()), caller))
        return OtherApps::none;
    auto names = common::listDirectory(item);
    if (!names)
        return OtherApps::couldNotCheck;
    for (const std::string& name : *names) {
        if (FolderRules::isAppBundleName(name))
            return OtherApps::found;
        auto child = common::statEntry(item, name);
        if (!child || !*child || !(*child)->isDirectory() || (*child)->device != st->device)
            continue;
        UniqueFd childFd(::openat(item.fd(), name.c_str(), kFolderFlags));
        if (!childFd)
            continue;
        const SharedDescriptor folder(std::move(childFd));
        auto opened = common::statDescriptor(folder);
        if (!opened || opened->identity() != (*child)->identity() ||
            !FolderRules::canReadAndSearch(*opened, common::extendedACLState(folder.fd()), caller))
            continue;
        auto inner = common::listDirectory(folder);
        if (!inner)
            continue;
        for (const std::string& innerName : *inner)
            if (FolderRules::isAppBundleName(innerName))
                return OtherApps::found;
    }
    return OtherApps::none;
}

} // namespace veldo::helper
