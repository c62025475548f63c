// The rollback guard over a fake Mac's state folder.
#include "helper/BuildFloor.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperMoveLedger.h"
#include "tests/support/FakeMac.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using Kind = BuildFloorResult::Kind;

class BuildFloor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the state folder is root's: run as root";
        fs::create_directories(state());
        ::chmod(state().c_str(), 0700);
    }
    std::string state() const { return mac.host(common::stateDirectoryURL()); }
    std::string file() const { return state() + "/highest-build"; }
    void write(const std::string& bytes) const { std::ofstream(file()) << bytes; }
    std::string read() const
    {
        std::ifstream in(file());
        return {std::istreambuf_iterator<char>(in), {}};
    }
    BuildFloorResult check(const std::string& build) const
    {
        return checkBuildFloor(build, std::string(common::kStateDirectoryPath));
    }

    veldo::testsupport::FakeMac mac;
};

TEST_F(BuildFloor, FirstStartRecordsTheBuild)
{
    fs::remove_all(state());
    EXPECT_EQ(check("2"), (BuildFloorResult{Kind::ok, {}}));
    EXPECT_EQ(read(), "2\n");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat(state().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    for (const auto& entry : fs::directory_iterator(state()))
        EXPECT_EQ(entry.path().filename(), "highest-build") << "no temporary file is left";
}

TEST_F(BuildFloor, RecordedBuildsAgainstTheDaemons)
{
    struct Case
    {
        std::string recorded;
        std::string build;
        BuildFloorResult expected;
        std::string fileAfter;
    };
    const std::vector<Case> cases{
        {"2\n", "2", {Kind::ok, {}}, "2\n"},
        {"2\n", "2.0", {Kind::ok, {}}, "2\n"},
        {"2\n", "02", {Kind::ok, {}}, "2\n"},
        {"2\n", "3", {Kind::ok, {}}, "3\n"},
        {"10\n", "9", {Kind::older, "10"}, "10\n"},
        {"  7\n\n", "7", {Kind::ok, {}}, "  7\n\n"},
        {"", "2", {}, ""},
        {std::string(64, ' ') + "1", "2", {}, std::string(64, ' ') + "1"},
        {"abc", "2", {}, "abc"},
        {"2\n", "2a", {}, "2\n"},
    };
    for (const auto& c : cases) {
        write(c.recorded);
        EXPECT_EQ(check(c.build), c.expected) << c.recorded << " / " << c.build;
        EXPECT_EQ(read(), c.fileAfter) << c.recorded << " / " << c.build;
    }
}

TEST_F(BuildFloor, UnsafeFileOrFolderIsUnknownAndLeftAlone)
{
    const std::vector<std::pair<std::string, std::function<void()>>> cases{
        {"symbolic link",
         [&] {
             std::ofstream(state() + "/target") << "1\n";
             fs::create_symlink("target", file());
         }},
        {"two links",
         [&] {
             write("1\n");
             fs::create_hard_link(file(), state() + "/second");
         }},
        {"another user's", [&] { write("1\n"), ::chown(file().c_str(), 4242, 4242); }},
        {"a folder", [&] { fs::create_directory(file()); }},
        {"folder mode 0755", [&] { write("1\n"), ::chmod(state().c_str(), 0755); }},
        {"folder of another user", [&] { write("1\n"), ::chown(state().c_str(), 4242, 0); }},
        {"folder with an ACL entry",
         [&] {
             write("1\n");
             acl_t acl = acl_from_text("u::rwx,u:4242:r-x,g::---,m::r-x,o::---");
             ASSERT_NE(acl, nullptr);
             ASSERT_EQ(acl_set_file(state().c_str(), ACL_TYPE_ACCESS, acl), 0);
             acl_free(acl);
         }},
    };
    for (const auto& [label, plant] : cases) {
        fs::remove_all(state());
        fs::create_directories(state());
        ::chmod(state().c_str(), 0700);
        plant();
        const auto before = fs::symlink_status(file()).type();
        EXPECT_EQ(check("2"), BuildFloorResult{}) << label;
        EXPECT_EQ(fs::symlink_status(file()).type(), before) << label;
        if (before == fs::file_type::regular) {
            EXPECT_EQ(read(), "1\n") << label;
        }
    }
}

} // namespace
} // namespace veldo::helper
