// Builds the fake Mac tree for one test and installs it as the Mac root.
#include "tests/support/FakeMac.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "platform/ServiceRegistrationRecord.h"
#include "tests/support/Unprivileged.h"
#include "tests/support/writers/MacTree.h"

namespace veldo::testsupport {

namespace fs = std::filesystem;
using platform::MacPath;

namespace {

// The made path, or `fallback` after failing the calling test with the host path and errno.
MacPath expectMade(const base::Result<MacPath>& result, std::string_view what,
                   const MacPath& fallback)
{
    if (result)
        return *result;
    ADD_FAILURE() << what << " " << result.error().path << ": "
                  << std::generic_category().message(result.error().systemErrno);
    return fallback;
}

} // namespace

namespace {

std::string defaultParent(FakeMac::Storage storage)
{
    std::error_code ec;
    return storage == FakeMac::Storage::memory && fs::is_directory("/dev/shm", ec)
               ? std::string("/dev/shm")
               : fs::temp_directory_path().string();
}

} // namespace

FakeMac::FakeMac(Storage storage) : FakeMac(defaultParent(storage))
{
}

FakeMac::FakeMac(const std::string& parent)
{
    std::string tmpl = (fs::path(parent) / "veldo-mac-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    m_root = made;
    ::chmod(m_root.c_str(), 0755);
    platform::testing::setMacRoot(m_root);

    const MacTree tree(m_root);
    if (auto shaped = tree.makeShape(home()); !shaped)
        throw std::runtime_error("cannot make the fake Mac at " + shaped.error().path);
    // The service manager's registrations belong to group "admin".
    if (const auto admin = adminGroupId()) {
        const std::string registrations =
            host(MacPath(std::string(platform::kServiceRegistrationFolder)));
        (void)::chown(registrations.c_str(), static_cast<uid_t>(-1), *admin);
    }
}

FakeMac::~FakeMac()
{
    platform::testing::setMacRoot("");
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string FakeMac::host(const MacPath& macPath) const
{
    return MacTree(m_root).host(macPath);
}

MacPath FakeMac::home() const
{
    return platform::homeDirectory();
}

MacPath FakeMac::mkdir(const MacPath& path, mode_t mode) const
{
    return expectMade(MacTree(m_root).mkdir(path, mode), "mkdir", path);
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
    return expectMade(MacTree(m_root).write(path, contents, mode), "write", path);
}

MacPath FakeMac::symlink(const MacPath& linkPath, std::string_view target) const
{
    return expectMade(MacTree(m_root).symlink(linkPath, target), "symlink", linkPath);
}

MacPath FakeMac::hardlink(const MacPath& existing, const MacPath& linkPath) const
{
    return expectMade(MacTree(m_root).hardlink(existing, linkPath), "link", linkPath);
}

MacPath FakeMac::writePlist(const MacPath& path, const platform::PlistValue& value,
                            bool binary) const
{
    return expectMade(MacTree(m_root).writePlist(path, value, binary), "write", path);
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
    return expectMade(MacTree(m_root).makeApp(bundlePath, info, binary), "make app", bundlePath);
}

} // namespace veldo::testsupport
