// The helper's state files stay inside the Mac root while a folder on their way keeps turning into
// a link out of it, and refuse names and folders that hold NUL.
#include "common/HelperStateFiles.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"
#include "tests/support/RootRacer.h"

namespace {

namespace StateFiles = veldo::common::HelperStateFiles;
using veldo::UniqueFd;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::RootRacer;
using namespace veldo::testsupport::literals;

} // namespace

TEST(HelperStateFiles, NothingLeavesTheRootWhileAFolderTurnsIntoALink)
{
    FakeMac mac(FakeMac::Storage::memory);
    const MacPath state("/Users/Shared/d/state"_mac);
    mac.write("/Users/Shared/d/state/record"_mac, "real");
    mac.write("/Users/Shared/d/state/victim"_mac, "real");
    RootRacer racer(mac, "/Users/Shared/d"_mac);
    const std::string canaryState = racer.canary() + "/state";
    racer.writeCanary("state/record", "canary");
    racer.writeCanary("state/victim", "canary");
    racer.writeCanary("state/canary-only", "canary");
    ASSERT_EQ(::chmod(canaryState.c_str(), 0755), 0);
    // The real state folder itself, to put the victim back whatever the racer is doing.
    const UniqueFd realState(
        ::open(mac.host(state).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    ASSERT_TRUE(realState);

    constexpr int kRounds = 10'000;
    int readEscapes = 0;
    int listEscapes = 0;
    int writeEscapes = 0;
    int removeEscapes = 0;
    racer.start();
    for (int round = 0; round < kRounds; ++round) {
        (void)StateFiles::makeFolders(state.appendingPathComponent("deeper"));
        (void)StateFiles::writeAtomically(state, "written", "x");
        (void)StateFiles::renameWithoutReplacing(state, "written", "renamed");
        (void)StateFiles::tightenFolder(state);
        if (racer.takeNewCanaryEntries() > 0)
            ++writeEscapes;

        auto bytes = StateFiles::read(state, "record", 100);
        if (bytes && *bytes == "canary")
            ++readEscapes;
        auto names = StateFiles::list(state);
        if (names && std::find(names->begin(), names->end(), "canary-only") != names->end())
            ++listEscapes;

        (void)StateFiles::remove(state, "renamed");
        (void)StateFiles::remove(state, "victim");
        if (::access((canaryState + "/victim").c_str(), F_OK) != 0) {
            ++removeEscapes;
            racer.writeCanary("state/victim", "canary");
        }
        ::close(::openat(realState.get(), "victim", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    }
    racer.stop();

    EXPECT_GT(racer.swaps(), 0u);
    EXPECT_EQ(writeEscapes, 0) << "made entries outside the root in " << kRounds << " rounds";
    EXPECT_EQ(readEscapes, 0) << "read outside the root in " << kRounds << " rounds";
    EXPECT_EQ(listEscapes, 0) << "listed outside the root in " << kRounds << " rounds";
    EXPECT_EQ(removeEscapes, 0) << "removed outside the root in " << kRounds << " rounds";
    struct stat st = {};
    ASSERT_EQ(::stat(canaryState.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "the canary's mode was tightened";
    EXPECT_EQ(StateFiles::read(state, "record", 100).value_or(""), "real");
}

TEST(HelperStateFiles, RefusesNul)
{
    FakeMac mac;
    mac.write("/Users/Shared/state/record"_mac, "real");
    const MacPath nulFolder(std::string("/..\0x", 5));
    const std::string nulName("record\0x", 8);
    EXPECT_ERRNO(StateFiles::makeFolders(nulFolder), EINVAL);
    EXPECT_ERRNO(StateFiles::tightenFolder(nulFolder), EINVAL);
    EXPECT_ERRNO(StateFiles::writeAtomically(nulFolder, "record", "x"), EINVAL);
    EXPECT_ERRNO(StateFiles::writeAtomically("/Users/Shared/state"_mac, nulName, "x"), EINVAL);
    EXPECT_ERRNO(StateFiles::read(nulFolder, "record", 100), EINVAL);
    EXPECT_ERRNO(StateFiles::read("/Users/Shared/state"_mac, nulName, 100), EINVAL);
    EXPECT_ERRNO(StateFiles::renameWithoutReplacing("/Users/Shared/state"_mac, nulName, "other"),
                 EINVAL);
    EXPECT_ERRNO(StateFiles::list(nulFolder), EINVAL);
    EXPECT_ERRNO(StateFiles::remove("/Users/Shared/state"_mac, nulName), EINVAL);
    EXPECT_EQ(StateFiles::read("/Users/Shared/state"_mac, "record", 100).value_or(""), "real");
}
