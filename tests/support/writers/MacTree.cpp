// Writing a Mac's folders and files into a host folder, answering errors.
#include "tests/support/writers/MacTree.h"

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "platform/PropertyList.h"
#include "platform/ServiceRegistrationRecord.h"

namespace veldo::testsupport {

namespace fs = std::filesystem;
using base::Error;
using base::Result;
using platform::MacPath;

namespace {

Result<void> makeFolders(const std::string& hostPath)
{
    std::error_code ec;
    fs::create_directories(hostPath, ec);
    if (ec)
        return Error::fromErrno(ec.value(), hostPath);
    return {};
}

Result<void> setMode(const std::string& hostPath, mode_t mode)
{
    if (::chmod(hostPath.c_str(), mode) != 0)
        return Error::fromErrno(errno, hostPath);
    return {};
}

} // namespace

std::string MacTree::host(const MacPath& macPath) const
{
    return m_root + (macPath.isAbsolute() ? "" : "/") + macPath.path();
}

Result<void> MacTree::makeParents(const MacPath& path) const
{
    return makeFolders(host(path.deletingLastPathComponent()));
}

Result<void> MacTree::makeShape(const MacPath& home) const
{
    for (const char* dir : {"/Applications",
                            "/System/Applications",
                            "/System/Library",
                            "/Library/Application Support",
                            "/Library/Caches",
                            "/Library/LaunchAgents",
                            "/Library/LaunchDaemons",
                            "/Library/Preferences",
                            "/Library/PrivilegedHelperTools",
                            "/Library/Logs",
                            "/Library/Receipts",
                            "/private/var/db/receipts",
                            "/private/var/folders",
                            "/private/var/run",
                            "/private/etc",
                            "/private/tmp",
                            "/private/var/tmp",
                            "/opt/homebrew",
                            "/Volumes",
                            "/usr/bin",
                            "/usr/local/bin",
                            "/bin",
                            "/sbin",
                            "/Users/Shared"}) {
        if (auto made = makeFolders(host(MacPath(dir))); !made)
            return made;
    }
    // The administrator script's runner and the helper refuse a Mac whose system folders others
    // can write, so these modes never come from the umask.
    for (const char* dir :
         {"/usr", "/usr/bin", "/bin", "/sbin", "/private", "/private/var", "/private/var/run"}) {
        if (auto set = setMode(host(MacPath(dir)), 0755); !set)
            return set;
    }
    for (const char* dir : {"/private/tmp", "/private/var/tmp"}) {
        if (auto set = setMode(host(MacPath(dir)), 01777); !set)
            return set;
    }
    // The service manager's registrations: open to administrators (the group is the caller's
    // to give).
    const std::string registrations =
        host(MacPath(std::string(platform::kServiceRegistrationFolder)));
    if (auto made = makeFolders(registrations); !made)
        return made;
    if (auto set = setMode(registrations, 0775); !set)
        return set;
    for (const auto& [link, target] :
         {std::pair{"/var", "private/var"}, std::pair{"/tmp", "private/tmp"},
          std::pair{"/etc", "private/etc"}}) {
        if (auto made = symlink(MacPath(link), target); !made)
            return made.error();
    }
    for (const char* sub :
         {"Applications", "Library/Application Support", "Library/Caches", "Library/Preferences",
          "Library/Containers", "Library/Group Containers", "Library/Saved Application State",
          "Library/Logs", "Library/LaunchAgents", "Library/HTTPStorages", "Library/Cookies",
          "Library/WebKit", ".Trash"}) {
        if (auto made = makeFolders(host(home.appendingPathComponent(sub))); !made)
            return made;
    }
    return {};
}

Result<MacPath> MacTree::mkdir(const MacPath& path, mode_t mode) const
{
    if (auto made = makeFolders(host(path)); !made)
        return made.error();
    if (auto set = setMode(host(path), mode); !set)
        return set.error();
    return path;
}

Result<MacPath> MacTree::write(const MacPath& path, std::string_view contents, mode_t mode) const
{
    if (auto made = makeParents(path); !made)
        return made.error();
    const std::string target = host(path);
    base::UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd)
        return Error::fromErrno(errno, target);
    for (std::size_t done = 0; done < contents.size();) {
        const ssize_t n = ::write(fd.get(), contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Error::fromErrno(n < 0 ? errno : EIO, target);
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::close(fd.release()) != 0)
        return Error::fromErrno(errno, target);
    return path;
}

Result<MacPath> MacTree::symlink(const MacPath& linkPath, std::string_view target) const
{
    if (auto made = makeParents(linkPath); !made)
        return made.error();
    if (::symlink(std::string(target).c_str(), host(linkPath).c_str()) != 0)
        return Error::fromErrno(errno, host(linkPath));
    return linkPath;
}

Result<MacPath> MacTree::hardlink(const MacPath& existing, const MacPath& linkPath) const
{
    if (auto made = makeParents(linkPath); !made)
        return made.error();
    if (::link(host(existing).c_str(), host(linkPath).c_str()) != 0)
        return Error::fromErrno(errno, host(linkPath));
    return linkPath;
}

Result<MacPath> MacTree::writePlist(const MacPath& path, const platform::PlistValue& value,
                                    bool binary) const
{
    auto bytes = platform::serializePropertyList(value, binary ? platform::PlistFormat::binary
                                                               : platform::PlistFormat::xml);
    if (!bytes)
        return Error::make(base::ErrorCode::invalidArgument, host(path));
    return write(path, *bytes);
}

Result<MacPath> MacTree::makeApp(const MacPath& bundlePath, const platform::PlistValue& info,
                                 bool binary) const
{
    if (auto made = mkdir(bundlePath.appendingPathComponent("Contents/MacOS")); !made)
        return made.error();
    if (auto written =
            writePlist(bundlePath.appendingPathComponent("Contents/Info.plist"), info, binary);
        !written)
        return written.error();
    if (auto exe = info.stringFor("CFBundleExecutable"); exe && !exe->empty()) {
        if (auto written = write(
                bundlePath.appendingPathComponent("Contents/MacOS").appendingPathComponent(*exe),
                "#!/bin/sh\nexit 0\n", 0755);
            !written)
            return written.error();
    }
    return bundlePath;
}

} // namespace veldo::testsupport
