// A fake Mac with a ledger and a Trash mover for one account, for the helper's mover tests.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFileAccess.h"
#include "common/HelperMoveLedger.h"
#include "common/HelperStagingJournal.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInLaunchctl.h"

namespace veldo::helper::testsupport {

using namespace veldo::testsupport::literals;

// The account the mover works for in these tests (no user-database entry is needed: root does the
// work and only compares ids).
inline constexpr uid_t kCallerUid = 4242;
inline constexpr gid_t kCallerGid = 4343;

class MoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the Trash mover works as root: run as root";
        testing::setSyslogEnabled(false);
        chownHost(mac.home().appendingPathComponent(".Trash"), kCallerUid, kCallerGid);
        ::chmod(host(mac.home().appendingPathComponent(".Trash")).c_str(), 0700);
        auto loaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
        ASSERT_TRUE(loaded);
        ledger = std::make_unique<common::HelperMoveLedger>(std::move(*loaded));
        mover.caller = HelperCaller{kCallerUid, kCallerGid, mac.home(), {}};
        mover.ledger = ledger.get();
        mover.launchctl = [this](const std::vector<std::string>& a) {
            launchctlCalls.push_back(a);
        };
        mover.isCancelled = [] { return false; };
    }

    std::string host(const platform::MacPath& p) const { return mac.host(p); }
    std::string trashHost(const std::string& name = {}) const
    {
        const std::string trash = host(mac.home().appendingPathComponent(".Trash"));
        return name.empty() ? trash : trash + "/" + name;
    }
    void chownHost(const platform::MacPath& p, uid_t uid, gid_t gid) const
    {
        ASSERT_EQ(::lchown(host(p).c_str(), uid, gid), 0) << p.path();
    }
    SharedDescriptor open(const std::string& macPath, bool readable = false) const
    {
        auto d = common::openPathBeneath(macPath, {.readable = readable});
        EXPECT_TRUE(d) << macPath;
        return d ? *d : *common::helperRoot();
    }
    SharedDescriptor trash() const { return open(mac.home().path() + "/.Trash"); }
    common::HelperStagingJournal journal() const
    {
        return common::HelperStagingJournal(common::stateDirectoryURL().appendingPathComponent(
            std::string(common::HelperStagingJournal::kFolderName)));
    }

    veldo::testsupport::FakeMac mac;
    std::unique_ptr<common::HelperMoveLedger> ledger;
    HelperTrashMover mover;
    std::vector<std::vector<std::string>> launchctlCalls;
};

// Root runs the launchctl stand-in, so nothing of it may be writable by anyone else: its control
// folder and logs are made root's alone.
inline void closeStandInToOthers(const veldo::testsupport::FakeMac& mac)
{
    const std::string control = mac.host(veldo::testsupport::StandInLaunchctl::controlFolder());
    ::chmod(control.c_str(), 0755);
    for (const char* log : {"/calls.log", "/env.log"})
        ::chmod((control + log).c_str(), 0644);
}

// Runs `body` in a child with a mount namespace of its own ("/" made private), so a mount it makes
// never reaches the host, also when it crashes. Answers the child's exit status; 77 means the
// kernel refused the namespace (the caller skips).
inline int inPrivateMountNamespace(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace veldo::helper::testsupport
