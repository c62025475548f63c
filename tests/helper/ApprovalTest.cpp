// `veldo-helper --approve` run from inside a bundle of a fake Mac, over whatever was planted at
// the record's name.
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperEndpoint.h"
#include "platform/ServiceRegistrationRecord.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace veldo::testsupport::literals;

class Approval : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "approval is root's: run as root";
        const std::string executable =
            mac.host("/Applications/Veldo.app/Contents/MacOS/orbelkan.Veldo.Helper"_mac);
        fs::create_directories(fs::path(executable).parent_path());
        fs::copy_file(VELDO_HELPER_PROGRAM, executable);
        ::chmod(executable.c_str(), 0755);
        m_executable = executable;
        fs::create_directories(folder());
    }

    std::string folder() const
    {
        return mac.host(platform::MacPath(platform::kServiceRegistrationFolder));
    }
    std::string record() const { return folder() + "/" + std::string(common::kHelperPlistName); }

    // Runs "--approve" as `uid` and answers its exit status.
    int approve(uid_t uid = 0) const
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("VELDO_MAC_ROOT", mac.root().c_str(), 1);
            if (uid != 0 && (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0))
                ::_exit(120);
            ::execl(m_executable.c_str(), m_executable.c_str(), "--approve", nullptr);
            ::_exit(121);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string contents(const std::string& path)
    {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    veldo::testsupport::FakeMac mac;
    std::string m_executable;
};

TEST_F(Approval, NotRootExits77AndWritesNothing)
{
    ::chmod(mac.root().c_str(), 0755);
    EXPECT_EQ(approve(veldo::testsupport::unprivilegedUid()), 77);
    EXPECT_FALSE(fs::exists(fs::symlink_status(record())));
}

TEST_F(Approval, FreshRootRecordReplacesWhateverWasPlanted)
{
    const std::string outside = mac.root() + "/outside";
    const std::vector<std::pair<std::string, std::function<void()>>> plants{
        {"nothing", [] {}},
        {"a user's file",
         [&] {
             std::ofstream(record()) << "planted";
             ::chown(record().c_str(), 4242, 4242);
         }},
        {"a hard link",
         [&] {
             std::ofstream(outside) << "planted";
             ::chown(outside.c_str(), 4242, 4242);
             fs::create_hard_link(outside, record());
         }},
        {"a symbolic link",
         [&] {
             std::ofstream(outside) << "planted";
             ::chown(outside.c_str(), 4242, 4242);
             fs::create_symlink(outside, record());
         }},
    };
    for (const auto& [label, plant] : plants) {
        fs::remove(record());
        fs::remove(outside);
        plant();
        ASSERT_EQ(approve(), 0) << label;

        struct stat st
        {
        };
        ASSERT_EQ(::lstat(record().c_str(), &st), 0) << label;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << label;
        EXPECT_EQ(st.st_uid, 0u) << label;
        EXPECT_EQ(st.st_nlink, 1u) << label;
        EXPECT_EQ(st.st_mode & 07777, 0644u) << label;
        const auto written =
            platform::ServiceRegistrationRecord::decodePropertyList(contents(record()));
        ASSERT_TRUE(written) << label;
        EXPECT_EQ(*written, (platform::ServiceRegistrationRecord{
                                "orbelkan.Veldo.Helper", "/Applications/Veldo.app",
                                "orbelkan.Veldo.Helper.plist", true}))
            << label;
        if (fs::exists(outside)) {
            EXPECT_EQ(contents(outside), "planted") << label;
            ASSERT_EQ(::stat(outside.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 4242u) << label;
        }
    }
}

} // namespace
} // namespace veldo::helper
