// The Trash executor with the rights of an ordinary user: a child that dropped root runs it on
// items root owns, behind a folder only root can search, missing, needing administrator rights,
// and refused by App Management, and reports what it saw through a pipe.
#include <cerrno>
#include <set>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/TrashExecutor.h"
#include "platform/AtomicFile.h"
#include "platform/ErrnoName.h"
#include "platform/Home.h"
#include "tests/support/FakeFileManager.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInLaunchctl.h"
#include "tests/support/Unprivileged.h"

using veldo::common::RemovalSafety::Context;
using veldo::core::LeftoverCategory;
using veldo::core::LeftoverItem;
using veldo::platform::ErrorDomain;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::testsupport::FakeFileManager;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInLaunchctl;
namespace TrashExecutor = veldo::removal::TrashExecutor;
using Call = FakeFileManager::Call;

namespace {

std::set<std::string> readLines(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    std::set<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.insert(text.substr(start, end - start));
    return lines;
}

} // namespace

TEST(TrashExecutorRights, AnOrdinaryUsersFailuresAreEscalatableAndNeverMissing)
{
    FakeMac mac;
    FakeFileManager files;
    StandInLaunchctl launchctl(mac);
    const uid_t uid = veldo::testsupport::unprivilegedUid();
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make files another user can't move";
    // The fake Mac lies in the temporary folder, which the other user must be able to search.
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    const gid_t gid = veldo::testsupport::unprivilegedGid();
    const auto childHome = veldo::platform::homeDirectoryForUser(uid);
    ASSERT_TRUE(childHome);
    // The child's home and Trash, made by root before it starts.
    mac.mkdir(*childHome, 0755);
    mac.mkdir(childHome->appendingPathComponent(".Trash"), 0700);
    const MacPath appFolder = mac.mkdir(childHome->appendingPathComponent("Applications"), 0755);
    const MacPath app = appFolder.appendingPathComponent("Acme.app");
    mac.write(app.appendingPathComponent("Contents/Info.plist"), "<plist/>");
    for (const MacPath& own : {*childHome, childHome->appendingPathComponent(".Trash"), appFolder,
                               app, app.appendingPathComponent("Contents"),
                               app.appendingPathComponent("Contents/Info.plist")})
        ASSERT_EQ(::chown(mac.host(own).c_str(), uid, gid), 0) << own.path();

    const MacPath rootOwned = mac.write(MacPath("/Library/Caches/com.acme.root/cache.db"), "r");
    mac.mkdir(MacPath("/Library/Application Support/Private"), 0700);
    const MacPath hidden = mac.write(MacPath("/Library/Application Support/Private/data"), "h");
    const MacPath missing("/Library/Caches/com.acme.gone");
    const MacPath admin = mac.write(MacPath("/Library/Preferences/com.acme.admin.plist"), "a");
    const MacPath systemAgent = mac.write(MacPath("/Library/LaunchAgents/com.acme.sys.plist"), "s");
    files.injectFailure(Call::trash, app,
                        SystemError(ErrorDomain::cocoa, 513, "“Acme.app” couldn’t be moved.",
                                    SystemError::posix(EPERM)));

    const std::vector<LeftoverItem> items{
        {.url = rootOwned, .category = LeftoverCategory::caches},
        {.url = hidden},
        {.url = missing, .category = LeftoverCategory::caches},
        {.url = admin, .category = LeftoverCategory::preferences, .requiresAdmin = true},
        {.url = app, .category = LeftoverCategory::application},
        {.url = systemAgent, .category = LeftoverCategory::launchAgents},
    };
    const Context context{*childHome, {MacPath("/Applications/Veldo.app")}, {}, false};

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int rc = veldo::testsupport::runUnprivileged([&] {
        ::close(pipeFds[0]);
        const auto outcome = TrashExecutor::runUninstall(items, context, {});
        std::string report;
        for (const auto& f : outcome.failed)
            report += "failed " + f.item.url.path() + " | " + f.message + "\n";
        for (const auto& i : outcome.trashed)
            report += "trashed " + i.url.path() + "\n";
        for (const auto& i : outcome.alreadyMissing)
            report += "missing " + i.url.path() + "\n";
        for (const auto& id : outcome.escalatableIDs)
            report += "escalatable " + id + "\n";
        for (const auto& id : outcome.appManagementDenialIDs)
            report += "denied " + id + "\n";
        for (const auto& i : items) {
            for (auto [call, name] :
                 {std::pair{Call::attributes, "attributes"}, std::pair{Call::trash, "trash"}}) {
                if (auto err = files.lastErrno(call, i.url))
                    report += std::string(name) + " " + i.url.path() + " " +
                              std::string(veldo::platform::errnoName(*err)) + "\n";
            }
        }
        return veldo::platform::writeAll(pipeFds[1], report).has_value() ? 0 : 1;
    });
    ::close(pipeFds[1]);
    const std::set<std::string> lines = readLines(pipeFds[0]);
    ::close(pipeFds[0]);
    ASSERT_EQ(rc, 0);

    auto description = [&](const std::string& line) {
        for (const auto& l : lines) {
            if (l.starts_with(line))
                return l.substr(line.size());
        }
        return std::string("<none>");
    };
    const std::set<std::string> expected{
        // A root-owned file in a root folder: a permission error, escalatable.
        "failed " + rootOwned.path() + " | " + description("failed " + rootOwned.path() + " | "),
        "trash " + rootOwned.path() + " EACCES",
        "escalatable " + rootOwned.path(),
        // Behind a folder only root can search: failed and escalatable, not missing.
        "failed " + hidden.path() + " | " + description("failed " + hidden.path() + " | "),
        "attributes " + hidden.path() + " EACCES",
        "escalatable " + hidden.path(),
        // Truly missing.
        "missing " + missing.path(),
        "attributes " + missing.path() + " ENOENT",
        // Needs administrator rights: the fixed sentence, whatever the error said.
        "failed " + admin.path() + " | Requires administrator privileges.",
        "trash " + admin.path() + " EACCES",
        "escalatable " + admin.path(),
        // App Management refused an app bundle the user could move by the permission bits.
        "failed " + app.path() + " | “Acme.app” couldn’t be moved.",
        "trash " + app.path() + " EPERM",
        "escalatable " + app.path(),
        "denied " + app.path(),
        // "/Library/LaunchAgents" is not writable here: not booted out, and the move fails.
        "failed " + systemAgent.path() + " | " +
            description("failed " + systemAgent.path() + " | "),
        "trash " + systemAgent.path() + " EACCES",
        "escalatable " + systemAgent.path(),
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(description("failed " + rootOwned.path() + " | "),
              "“cache.db” couldn’t be moved to the Trash because you don’t have permission to "
              "access it.");
    EXPECT_EQ(description("failed " + hidden.path() + " | "),
              "“data” couldn’t be read because you don’t have permission to access it.");
    EXPECT_TRUE(launchctl.calls().empty());
    for (const MacPath& kept : {rootOwned, hidden, admin, systemAgent, app})
        EXPECT_EQ(::access(mac.host(kept).c_str(), F_OK), 0) << kept.path();
    struct stat st
    {
    };
    ASSERT_EQ(::stat(mac.host(rootOwned).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, 0u);
}
