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
};

// The process-wide file manager: the one a test installed, else the Linux one.
FileManager& defaultFileManager();

namespace testing {
// Makes `manager` the process-wide default (nullptr: the Linux one again) and answers the one
// installed before. The caller keeps `manager` alive while it is installed.
FileManager* setDefaultFileManager(FileManager* manager);
} // namespace testing

} // namespace veldo::platform
