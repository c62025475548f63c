// Home folders from the user database, placed under /Users inside a Mac root.
#include "platform/Home.h"

#include <algorithm>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "platform/MacRoot.h"

namespace veldo::platform {

namespace {

struct PasswdEntry
{
    std::string name;
    std::string home;
};

std::optional<PasswdEntry> lookup(uid_t uid)
{
    // glibc suggests 1,024 bytes, too few for a long entry (the lookup would fail with ERANGE).
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(std::max<size_t>(size > 0 ? static_cast<size_t>(size) : 0, 16384));
    struct passwd pw
    {
    };
    struct passwd* result = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &result) != 0 || !result)
        return std::nullopt;
    return PasswdEntry{pw.pw_name ? pw.pw_name : "", pw.pw_dir ? pw.pw_dir : ""};
}

} // namespace

std::optional<std::string> loginName(uid_t uid)
{
    auto e = lookup(uid);
    if (!e || e->name.empty())
        return std::nullopt;
    return e->name;
}

std::optional<MacPath> homeDirectoryForUser(uid_t uid)
{
    auto e = lookup(uid);
    if (!e)
        return std::nullopt;
    if (!macRoot().empty()) {
        if (e->name.empty())
            return std::nullopt;
        return MacPath("/Users/" + e->name);
    }
    if (e->home.empty())
        return std::nullopt;
    return MacPath(e->home);
}

MacPath homeDirectory()
{
    return homeDirectoryForUser(::getuid()).value_or(MacPath("/"));
}

} // namespace veldo::platform
