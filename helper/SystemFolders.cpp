#include "helper/SystemFolders.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "base/UniqueFd.h"
#include "helper/ToolRunner.h"
#include "platform/MacRoot.h"

namespace veldo::helper {

namespace {

// The entry `name` of `folder` when it is a protected folder; an empty descriptor with `missing`
// set when there is none; an empty descriptor otherwise.
base::UniqueFd openProtected(int folder, const char* name, bool& missing)
{
    missing = false;
    base::UniqueFd next(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
        missing = errno == ENOENT;
        return {};
    }
    struct stat status
    {
    };
    if (::fstat(next.get(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        !ToolRunner::isWritableOnlyByRoot(status, true))
        return {};
    return next;
}

} // namespace

bool macSystemFoldersProtected()
{
    const std::string root = platform::macRoot();
    if (!ToolRunner::checkFolderPath(root.empty() ? "/" : root))
        return false;
    base::UniqueFd current(
        ::open(root.empty() ? "/" : root.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!current)
        return false;
    bool missing = false;
    for (const char* name : {"private", "var"}) {
        base::UniqueFd next = openProtected(current.get(), name, missing);
        if (missing)
            return true;
        if (!next)
            return false;
        current = std::move(next);
    }
    for (const char* name : {"db", "run", "log"}) {
        const base::UniqueFd folder = openProtected(current.get(), name, missing);
        if (!folder && !missing)
            return false;
    }
    return true;
}

} // namespace veldo::helper
