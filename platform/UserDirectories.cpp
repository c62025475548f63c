// The per-user folders of the Mac root, in the shape macOS's confstr answers them.
#include "platform/UserDirectories.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include <unistd.h>

#include "platform/MacFileSystem.h"
#include "platform/MacRoot.h"

namespace veldo::platform {

namespace {

// "/var/folders/<x>/<y>/" of the first folder, in name order, owned by the current user.
std::optional<std::string> userFolder()
{
    if (macRoot().empty())
        return std::nullopt;
    const MacPath folders("/private/var/folders");
    auto outer = listDirectory(folders);
    if (!outer)
        return std::nullopt;
    std::sort(outer->begin(), outer->end());
    const uid_t uid = ::getuid();
    for (const auto& x : *outer) {
        if (x.empty() || x.front() == '.')
            continue;
        const MacPath xPath = folders.appendingPathComponent(x);
        auto inner = listDirectory(xPath);
        if (!inner)
            continue;
        std::sort(inner->begin(), inner->end());
        for (const auto& y : *inner) {
            if (y.empty() || y.front() == '.')
                continue;
            auto st = fileStatus(xPath.appendingPathComponent(y), FollowLinks::no);
            if (st && st->type == FileType::directory && st->uid == uid)
                return "/var/folders/" + x + "/" + y + "/";
        }
    }
    return std::nullopt;
}

} // namespace

std::size_t darwinConfstr(int name, char* buffer, std::size_t length)
{
    const char* leaf = nullptr;
    if (name == kCsDarwinUserCacheDir)
        leaf = "C/";
    else if (name == kCsDarwinUserTempDir)
        leaf = "T/";
    else {
        errno = EINVAL;
        return 0;
    }
    const auto folder = userFolder();
    if (!folder) {
        errno = ENOENT;
        return 0;
    }
    const std::string value = *folder + leaf;
    if (buffer && length > 0) {
        const std::size_t n = std::min(length - 1, value.size());
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
    }
    return value.size() + 1;
}

} // namespace veldo::platform
