// Tells an App Management refusal from a real lack of rights on an app bundle.
#include "app/core/AppManagementDenial.h"

#include <cerrno>
#include <cstdint>

#include <sys/stat.h>

#include "platform/Credentials.h"
#include "platform/FileFlags.h"
#include "platform/MacFileSystem.h"

namespace veldo::core {

namespace {

using platform::MacPath;

// Flags that, rather than the permission bits, would explain a refusal.
constexpr std::uint32_t kBlockingFlags = platform::kUserImmutableFlag | platform::kUserAppendFlag |
                                         platform::kSystemImmutableFlag |
                                         platform::kSystemAppendFlag | platform::kRestrictedFlag;

struct EntryStatus
{
    uid_t owner = 0;
    gid_t group = 0;
    std::uint16_t mode = 0;
    std::uint32_t flags = 0;
};

// The entry's own status (a final link is not followed), or none when it can't be read.
std::optional<EntryStatus> readStatus(const MacPath& path)
{
    const auto status = platform::fileStatus(path, platform::FollowLinks::no);
    if (!status)
        return std::nullopt;
    const auto flags = platform::fileFlags(path);
    if (!flags)
        return std::nullopt;
    return EntryStatus{status->uid, status->gid, static_cast<std::uint16_t>(status->mode), *flags};
}

// The one class of write bit that applies to the caller, as the file system picks it.
bool mayWrite(const EntryStatus& entry, const platform::Credentials& caller)
{
    if (entry.owner == caller.effectiveUid)
        return (entry.mode & S_IWUSR) != 0;
    if (caller.isMember(entry.group))
        return (entry.mode & S_IWGRP) != 0;
    return (entry.mode & S_IWOTH) != 0;
}

bool endsWithAppIgnoringCase(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const std::string_view tail = std::string_view(name).substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'a' && (tail[2] | 0x20) == 'p' &&
           (tail[3] | 0x20) == 'p';
}

} // namespace

std::optional<MacPath> enclosingAppBundle(const MacPath& url)
{
    std::string path;
    for (const std::string& component : url.standardized().pathComponents()) {
        if (component == "/")
            continue;
        path.push_back('/');
        path.append(component);
        if (endsWithAppIgnoringCase(component))
            return MacPath(path);
    }
    return std::nullopt;
}

bool isNotPermittedError(const platform::SystemError& error)
{
    if (error.domain() == platform::ErrorDomain::posix)
        return error.code() == EPERM;
    if (const platform::SystemError* underlying = error.underlyingError())
        return isNotPermittedError(*underlying);
    return error.domain() == platform::ErrorDomain::cocoa &&
           error.code() == platform::kCocoaFileWriteNoPermissionError;
}

bool isAppManagementDenial(const platform::SystemError& error, const MacPath& url)
{
    const std::optional<MacPath> bundle = enclosingAppBundle(url);
    if (!bundle || !isNotPermittedError(error))
        return false;
    const auto item = readStatus(*bundle);
    const auto parent = readStatus(bundle->deletingLastPathComponent());
    if (!item || !parent)
        return false;
    if ((item->flags & kBlockingFlags) != 0 || (parent->flags & kBlockingFlags) != 0)
        return false;

    const platform::Credentials caller = platform::callerCredentials();
    if (caller.effectiveUid == 0)
        return true;
    if (!mayWrite(*item, caller) || !mayWrite(*parent, caller))
        return false;
    const bool sticky = (parent->mode & S_ISVTX) != 0;
    if (sticky && item->owner != caller.effectiveUid && parent->owner != caller.effectiveUid)
        return false;
    return true;
}

} // namespace veldo::core
