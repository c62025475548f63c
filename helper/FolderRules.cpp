// The Trash mover's rules on folders and names.
#include "helper/FolderRules.h"

#include <cstring>
#include <string>

#include "common/HelperACL.h"
#include "common/HelperFileAccess.h"
#include "common/HelperPathRules.h"
#include "platform/MacPath.h"
#include "platform/Unicode.h"

namespace veldo::helper::FolderRules {

namespace {

// The caller's class bits of `folder` for `ownerBits`, `groupBits` and `otherBits`.
bool classHas(const common::HelperStat& folder, const HelperCaller& caller, mode_t groupBits,
              mode_t otherBits)
{
    const mode_t bits = caller.isInGroup(folder.gid) ? groupBits : otherBits;
    return (folder.mode & bits) == bits;
}

} // namespace

bool callerCanSearch(const common::HelperStat& folder, std::optional<bool> aclState,
                     const HelperCaller& caller)
{
    if (folder.uid == caller.uid)
        return (folder.mode & S_IXUSR) != 0;
    return aclState == false && classHas(folder, caller, S_IXGRP, S_IXOTH);
}

bool canReadAndSearch(const common::HelperStat& folder, std::optional<bool> aclState,
                      const HelperCaller& caller)
{
    if (folder.uid == caller.uid)
        return (folder.mode & (S_IRUSR | S_IXUSR)) == (S_IRUSR | S_IXUSR);
    return aclState == false && classHas(folder, caller, S_IRGRP | S_IXGRP, S_IROTH | S_IXOTH);
}

bool isForeignReadOnlyFolder(const common::HelperStat& folder, std::optional<bool> aclState,
                             const HelperCaller& caller)
{
    return folder.uid != caller.uid && aclState == false &&
           (folder.mode & (S_IWGRP | S_IWOTH)) == 0 &&
           classHas(folder, caller, S_IRGRP | S_IXGRP, S_IROTH | S_IXOTH);
}

bool isOpenToOthers(int folderFd, const HelperCaller& caller)
{
    auto st = common::statDescriptor(folderFd);
    if (!st || st->uid == caller.uid || (st->mode & (S_IWGRP | S_IWOTH)) != 0)
        return true;
    return common::extendedACLState(folderFd) != false;
}

bool isAppBundleName(std::string_view rawName)
{
    const std::string name =
        platform::repairedUtf8(rawName.substr(0, ::strnlen(rawName.data(), rawName.size())));
    if (name.empty() || name.find('/') != std::string::npos)
        return false;
    const std::string extension = platform::MacPath(name).pathExtension();
    return common::foldedForComparison(extension) == "app";
}

} // namespace veldo::helper::FolderRules
