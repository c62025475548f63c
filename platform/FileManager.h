// FileManager: the file manager's Trash, move, attribute, folder and writability calls, as one
// interface so that tests can inject failures.
//
// The process has one default file manager (defaultFileManager): the Linux implementation
// (LinuxFileManager.h) unless a test installed another. Paths are Mac paths, reached through the
// Mac root with the links of parent folders resolved inside it. Every call blocks on the file
// system and may be made from any thread.
//
// Failures are SystemError values as a Mac reports them: a Cocoa file error wrapping the POSIX
// error. Reads (attributesOfItem) fail with 257 for EACCES/EPERM and 256 otherwise; writes
// (trashItem, moveItem, createDirectory) with 513 for EACCES/EPERM and 512 otherwise. The
// description is a sentence naming the item and the cause. Callers tell a missing item by the
// wrapped errno (meansMissing in SystemError.h: ENOENT or ENOTDIR).
#pragma once

#include <memory>
#include <optional>

#include "platform/FileResult.h"
#include "platform/MacFileSystem.h"
#include "platform/MacPath.h"

namespace veldo::platform {

class FileManager
{
public:
    virtual ~FileManager() = default;

    // Moves the item (a link is moved as the link) into the Trash of its volume under a name
    // that Trash does not hold yet, and answers its Mac path there, or none when the file
    // manager does not report one. Never replaces an entry, never copies, never changes owner or
    // mode; an item on another device than its Trash fails (EXDEV).
    virtual FileResult<std::optional<MacPath>> trashItem(const MacPath& url) = 0;

    // Renames `from` to `to`. Fails (EEXIST) when `to` exists, leaving both; fails (EXDEV)
    // across devices, never copying.
    virtual FileResult<void> moveItem(const MacPath& from, const MacPath& to) = 0;

    // The status of the item itself (a link is not followed). A loop of parent links is ELOOP.
    virtual FileResult<FileStatus> attributesOfItem(const MacPath& path) = 0;

    // Makes the folder; with `withIntermediateDirectories` also its missing parents, and an
    // existing folder is then no failure. New folders get 0777 less the umask.
    virtual FileResult<void> createDirectory(const MacPath& url,
                                             bool withIntermediateDirectories) = 0;

    // Whether the calling user (real ids) may write the item, links followed.
    virtual bool isWritableFile(const MacPath& path) = 0;

    // One run of Trash moves, made by beginTrashRun and used by one thread at a time. Its calls
    // answer as the file manager's own do; what every item of the run shares is looked up once
    // per run instead of once per item (see the implementation), so a run is meant to last no
    // longer than one batch of moves.
    class TrashRun
    {
    public:
        virtual ~TrashRun() = default;
        // Opens the folder of the item `url` for the calls on that item that follow (until a
        // call names another item), and answers the folder's Mac path with its links resolved,
        // as the open descriptor names it. None when the run does not keep folders open, when
        // `url` names no movable item, or when the folder can't be opened (the calls that
        // follow report why).
        virtual std::optional<MacPath> openFolderOfItem(const MacPath& url) = 0;
        // As FileManager::attributesOfItem.
        virtual FileResult<FileStatus> attributesOfItem(const MacPath& path) = 0;
        // As FileManager::trashItem.
        virtual FileResult<std::optional<MacPath>> trashItem(const MacPath& url) = 0;
    };

    // A new run. This default hands every call of the run to this file manager's own calls.
    virtual std::unique_ptr<TrashRun> beginTrashRun();
};

// The process-wide file manager: the one a test installed, else the Linux one.
FileManager& defaultFileManager();

namespace testing {
// Makes `manager` the process-wide default (nullptr: the Linux one again) and answers the one
// installed before. The caller keeps `manager` alive while it is installed.
FileManager* setDefaultFileManager(FileManager* manager);
} // namespace testing

} // namespace veldo::platform
