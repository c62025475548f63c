// Builds the fake Mac tree for one test and installs it as the Mac root.
#include "tests/support/FakeMac.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "platform/PropertyList.h"
#include "platform/ServiceRegistrationRecord.h"
#include "tests/support/Unprivileged.h"

namespace veldo::testsupport {

namespace fs = std::filesystem;
using platform::MacPath;

FakeMac::FakeMac(Storage storage)
{
    std::error_code ec;
    const fs::path parent = storage == Storage::memory && fs::is_directory("/dev/shm", ec)
                                ? fs::path("/dev/shm")
                                : fs::temp_directory_path();
    std::string tmpl = (parent / "veldo-mac-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    m_root = made;
    ::chmod(m_root.c_str(), 0755);
    platform::testing::setMacRoot(m_root);

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
                            "/private/etc",
                            "/opt/homebrew",
                            "/Volumes",
                            "/usr/bin",
                            "/usr/local/bin",
                            "/bin",
                            "/sbin",
                            "/Users/Shared"})
        fs::create_directories(host(MacPath(dir)));
    fs::create_directories(host(MacPath("/private/tmp")));
    fs::create_directories(host(MacPath("/private/var/tmp")));
    // The system folders get their modes here, never from the umask: the administrator
    // script's runner refuses a Mac whose system folders others can write.
    for (const char* dir : {"/usr", "/usr/bin", "/bin", "/sbin", "/private", "/private/var"})
        ::chmod(host(MacPath(dir)).c_str(), 0755);
    ::chmod(host(MacPath("/private/tmp")).c_str(), 01777);
    ::chmod(host(MacPath("/private/var/tmp")).c_str(), 01777);
    // The helper socket's folder chain must be root's and closed to others whatever the umask.
    fs::create_directories(host(MacPath("/private/var/run")));
    ::chmod(host(MacPath("/private/var/run")).c_str(), 0755);
    // The service manager's registrations: root's, group "admin", open to administrators.
    const std::string registrations =
        host(MacPath(std::string(platform::kServiceRegistrationFolder)));
    fs::create_directories(registrations);
    if (const auto admin = adminGroupId())
        (void)::chown(registrations.c_str(), static_cast<uid_t>(-1), *admin);
    ::chmod(registrations.c_str(), 0775);
    fs::create_symlink("private/var", host(MacPath("/var")));
    fs::create_symlink("private/tmp", host(MacPath("/tmp")));
    fs::create_symlink("private/etc", host(MacPath("/etc")));

    const MacPath h = home();
    for (const char* sub :
         {"Applications", "Library/Application Support", "Library/Caches", "Library/Preferences",
          "Library/Containers", "Library/Group Containers", "Library/Saved Application State",
          "Library/Logs", "Library/LaunchAgents", "Library/HTTPStorages", "Library/Cookies",
          "Library/WebKit", ".Trash"})
        fs::create_directories(host(h.appendingPathComponent(sub)));
}

FakeMac::~FakeMac()
{
    platform::testing::setMacRoot("");
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string FakeMac::host(const MacPath& macPath) const
{
    return m_root + (macPath.isAbsolute() ? "" : "/") + macPath.path();
}

MacPath FakeMac::home() const
{
    return platform::homeDirectory();
}

MacPath FakeMac::mkdir(const MacPath& path, mode_t mode) const
{
    std::error_code ec;
    fs::create_directories(host(path), ec);
    EXPECT_FALSE(ec) << "mkdir " << path.path() << ": " << ec.message();
    ::chmod(host(path).c_str(), mode);
    return path;
}

MacPath FakeMac::wideTree(const MacPath& path, int branches, int leaves) const
{
    mkdir(path);
    const std::string root = host(path);
    for (int b = 0; b < branches; ++b) {
        const std::string branch = root + "/b" + std::to_string(b);
        if (::mkdir(branch.c_str(), 0755) != 0) {
            ADD_FAILURE() << "mkdir " << branch;
            return path;
        }
        for (int l = 0; l < leaves; ++l) {
            const std::string leaf = branch + "/l" + std::to_string(l);
            if (::mkdir(leaf.c_str(), 0755) != 0) {
                ADD_FAILURE() << "mkdir " << leaf;
                return path;
            }
        }
    }
    return path;
}

MacPath FakeMac::write(const MacPath& path, std::string_view contents, mode_t mode) const
{
    std::error_code ec;
    fs::create_directories(host(path.deletingLastPathComponent()), ec);
    std::ofstream out(host(path), std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    EXPECT_TRUE(out.good()) << "write " << path.path();
    ::chmod(host(path).c_str(), mode);
    return path;
}

MacPath FakeMac::symlink(const MacPath& linkPath, std::string_view target) const
{
    std::error_code ec;
    fs::create_directories(host(linkPath.deletingLastPathComponent()), ec);
    EXPECT_EQ(::symlink(std::string(target).c_str(), host(linkPath).c_str()), 0)
        << "symlink " << linkPath.path();
    return linkPath;
}

MacPath FakeMac::hardlink(const MacPath& existing, const MacPath& linkPath) const
{
    std::error_code ec;
    fs::create_directories(host(linkPath.deletingLastPathComponent()), ec);
    EXPECT_EQ(::link(host(existing).c_str(), host(linkPath).c_str()), 0)
        << "link " << linkPath.path();
    return linkPath;
}

MacPath FakeMac::writePlist(const MacPath& path, const platform::PlistValue& value,
                            bool binary) const
{
    auto bytes = platform::serializePropertyList(value, binary ? platform::PlistFormat::binary
                                                               : platform::PlistFormat::xml);
    EXPECT_TRUE(bytes.has_value()) << "serialise " << path.path();
    return write(path, bytes ? *bytes : std::string());
}

std::string FakeMac::contents(const MacPath& path) const
{
    std::ifstream in(host(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : "<missing>";
}

MacPath FakeMac::makeApp(const MacPath& bundlePath, const platform::PlistValue& info,
                         bool binary) const
{
    mkdir(bundlePath.appendingPathComponent("Contents/MacOS"));
    writePlist(bundlePath.appendingPathComponent("Contents/Info.plist"), info, binary);
    if (auto exe = info.stringFor("CFBundleExecutable"); exe && !exe->empty())
        write(bundlePath.appendingPathComponent("Contents/MacOS").appendingPathComponent(*exe),
              "#!/bin/sh\nexit 0\n", 0755);
    return bundlePath;
}

} // namespace veldo::testsupport
