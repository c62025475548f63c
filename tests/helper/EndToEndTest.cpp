// The app's own helper client, installed as the test bundle's executable, moving a file, a tree
// and a daemon's launchd property list into an administrator's Trash through the real daemon and
// socket, and putting them back: bytes, owners and modes as they were; Undo of an item the user
// deleted from the Trash, across a restart of the daemon; and a cleanup larger than the ledger
// keeps for one account, undone whole beside another account's.
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInLaunchctl.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace veldo::testsupport::literals;
using common::VeldoHelperItemResult;
using testsupport::ClientUser;
using testsupport::InstalledHelper;

// Every object under the host folder: relative path → (bytes or link target, owner, group, mode).
using Manifest = std::map<std::string, std::tuple<std::string, uid_t, gid_t, mode_t>>;

void addToManifest(const fs::path& base, const fs::path& path, Manifest& manifest)
{
    struct stat status
    {
    };
    ASSERT_EQ(::lstat(path.c_str(), &status), 0) << path;
    std::string content;
    if (S_ISREG(status.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(in), {});
    } else if (S_ISLNK(status.st_mode)) {
        content = fs::read_symlink(path).string();
    }
    manifest[fs::relative(path, base).string()] = {content, status.st_uid, status.st_gid,
                                                   status.st_mode};
    if (S_ISDIR(status.st_mode))
        for (const auto& entry : fs::directory_iterator(path))
            addToManifest(base, entry.path(), manifest);
}

Manifest manifestOf(const std::string& hostBase, const std::vector<std::string>& items)
{
    Manifest manifest;
    for (const auto& item : items)
        addToManifest(hostBase, hostBase + item, manifest);
    return manifest;
}

TEST(HelperEndToEnd, TheAppsClientMovesAndRestoresThroughTheDaemon)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!admin)
        GTEST_SKIP() << "the client is a test user: run as root";
    veldo::testsupport::FakeMac mac;
    const platform::MacPath home = admin->homeIn(mac);
    veldo::testsupport::StandInLaunchctl launchctl(mac);
    InstalledHelper::Options options;
    options.clientProgram = VELDO_HELPER_APP_CLIENT;
    options.daemonProgram = VELDO_HELPER_PROGRAM;
    InstalledHelper helper(mac, options);
    helper.start();

    // A file of another group with its own mode, a tree with a link, a daemon's plist.
    mac.write("/Library/Caches/com.example/cache.db"_mac, "cache bytes");
    ::chown(mac.host("/Library/Caches/com.example/cache.db"_mac).c_str(), 0, admin->gid());
    ::chmod(mac.host("/Library/Caches/com.example/cache.db"_mac).c_str(), 0640);
    mac.write("/Library/Application Support/Example/data/one.txt"_mac, "one");
    mac.write("/Library/Application Support/Example/two.bin"_mac, std::string("\0\1\2", 3));
    ::chmod(mac.host("/Library/Application Support/Example/data"_mac).c_str(), 0700);
    mac.symlink("/Library/Application Support/Example/latest"_mac, "data/one.txt");
    mac.write("/Library/LaunchDaemons/com.example.helper.plist"_mac, "<plist/>");
    const std::vector<std::string> items{"/Library/Caches/com.example/cache.db",
                                         "/Library/Application Support/Example",
                                         "/Library/LaunchDaemons/com.example.helper.plist"};
    const std::vector<std::string> names{"cache.db", "Example", "com.example.helper.plist"};
    const Manifest before = manifestOf(mac.root(), items);

    common::VeldoHelperMoveRequest move;
    for (std::size_t at = 0; at < items.size(); ++at)
        move.items.push_back({items[at], home.path() + "/.Trash/" + names[at]});
    auto moving = testsupport::spawnClient(mac, helper.client(), {"move", *move.encodeJSON()},
                                           ClientUser{admin->uid(), admin->gid()});
    const auto moved = common::VeldoHelperReply::decodeJSON(moving.line().value_or(""));
    ASSERT_TRUE(moved) << helper.log();
    ASSERT_EQ(moved->results.size(), items.size());
    common::VeldoHelperRestoreRequest restore;
    for (std::size_t at = 0; at < items.size(); ++at) {
        SCOPED_TRACE(items[at]);
        EXPECT_EQ(moved->results[at].outcome, VeldoHelperItemResult::Outcome::done)
            << moved->results[at].message.value_or("");
        EXPECT_FALSE(fs::exists(fs::symlink_status(mac.root() + items[at])));
        ASSERT_TRUE(moved->results[at].destination);
        EXPECT_TRUE(fs::exists(mac.host(platform::MacPath(*moved->results[at].destination))));
        restore.items.push_back({*moved->results[at].destination, items[at]});
    }
    EXPECT_EQ(launchctl.calls(),
              (std::vector<std::string>{
                  "[bootout][system][/Library/LaunchDaemons/com.example.helper.plist]"}));

    auto restoring =
        testsupport::spawnClient(mac, helper.client(), {"restore", *restore.encodeJSON()},
                                 ClientUser{admin->uid(), admin->gid()});
    const auto restored = common::VeldoHelperReply::decodeJSON(restoring.line().value_or(""));
    ASSERT_TRUE(restored) << helper.log();
    for (const auto& result : restored->results)
        EXPECT_EQ(result.outcome, VeldoHelperItemResult::Outcome::done)
            << result.path << ": " << result.message.value_or("");
    EXPECT_EQ(manifestOf(mac.root(), items), before);
    EXPECT_EQ(helper.log().find("Refusing"), std::string::npos) << helper.log();
}

TEST(HelperEndToEnd, AnItemDeletedFromTheTrashIsNoLongerInItAfterTheDaemonRestarted)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!admin)
        GTEST_SKIP() << "the client is a test user: run as root";
    veldo::testsupport::FakeMac mac;
    const platform::MacPath home = admin->homeIn(mac);
    InstalledHelper::Options options;
    options.clientProgram = VELDO_HELPER_APP_CLIENT;
    options.daemonProgram = VELDO_HELPER_PROGRAM;
    InstalledHelper helper(mac, options);
    helper.start();
    const ClientUser user{admin->uid(), admin->gid()};

    common::VeldoHelperMoveRequest move;
    common::VeldoHelperRestoreRequest restore;
    for (const std::string name : {"deleted.db", "kept.db"}) {
        const std::string original = "/Library/Caches/com.example/" + name;
        mac.write(platform::MacPath(original), name);
        move.items.push_back({original, home.path() + "/.Trash/" + name});
        restore.items.push_back({home.path() + "/.Trash/" + name, original});
    }
    auto moving =
        testsupport::spawnClient(mac, helper.client(), {"move", *move.encodeJSON()}, user);
    const auto moved = common::VeldoHelperReply::decodeJSON(moving.line().value_or(""));
    ASSERT_TRUE(moved) << helper.log();
    for (const auto& result : moved->results)
        ASSERT_EQ(result.outcome, VeldoHelperItemResult::Outcome::done) << result.path;

    // The user empties one item from the Trash; the daemon goes and comes back.
    fs::remove(mac.host(platform::MacPath(home.path() + "/.Trash/deleted.db")));
    helper.stop();
    helper.start();

    const std::string undoRequest = *restore.encodeJSON();
    const std::string deleted = "/Library/Caches/com.example/deleted.db";
    auto undoing = testsupport::spawnClient(mac, helper.client(), {"undo", undoRequest}, user);
    EXPECT_EQ(undoing.rest(), "restored /Library/Caches/com.example/kept.db\nfailed " + deleted +
                                  "\tIt's no longer in the Trash.\tfinal\n")
        << helper.log();
    EXPECT_EQ(mac.contents("/Library/Caches/com.example/kept.db"_mac), "kept.db");
}

// The lines of a client's output, by their first word.
std::map<std::string, std::vector<std::string>> linesByKind(const std::string& output)
{
    std::map<std::string, std::vector<std::string>> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::size_t space = line.find(' ');
        lines[line.substr(0, space)].push_back(space == std::string::npos ? ""
                                                                          : line.substr(space + 1));
    }
    return lines;
}

TEST(HelperEndToEnd, ACleanupLargerThanTheLedgerKeepsIsUndoneWholeBesideAnotherAccounts)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    auto other = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!admin || !other)
        GTEST_SKIP() << "the clients are test users: run as root";
    // In memory: thousands of moves and put-backs, each a few folder changes.
    veldo::testsupport::FakeMac mac(veldo::testsupport::FakeMac::Storage::memory);
    const platform::MacPath home = admin->homeIn(mac);
    const platform::MacPath otherHome = other->homeIn(mac);
    InstalledHelper::Options options;
    options.clientProgram = VELDO_HELPER_APP_CLIENT;
    options.daemonProgram = VELDO_HELPER_PROGRAM;
    options.idleSeconds = 600;
    InstalledHelper helper(mac, options);
    helper.start();
    const ClientUser user{admin->uid(), admin->gid()};
    const ClientUser otherUser{other->uid(), other->gid()};
    const auto run = [&](const ClientUser& as, const std::vector<std::string>& arguments,
                         const std::string& input) {
        auto client = testsupport::spawnClient(mac, helper.client(), arguments, as);
        client.send(input);
        client.closeInput();
        return linesByKind(client.rest(std::chrono::minutes(10)));
    };
    const auto undoRequest = [](const std::vector<std::string>& moved) {
        common::VeldoHelperRestoreRequest request;
        for (const std::string& line : moved) {
            const std::size_t tab = line.find('\t');
            request.items.push_back({line.substr(tab + 1), line.substr(0, tab)});
        }
        return *request.encodeJSON();
    };

    // Another administrator's cleanup first.
    std::string otherPaths;
    for (int i = 0; i < 10; ++i) {
        const std::string path = "/Library/Caches/Other/item " + std::to_string(i);
        mac.write(platform::MacPath(path), "other");
        otherPaths += path + "\n";
    }
    const auto otherMoved = run(otherUser, {"cleanup", otherHome.path(), "-"}, otherPaths);
    ASSERT_EQ(otherMoved.count("moved") ? otherMoved.at("moved").size() : 0, 10u) << helper.log();

    // One more thousand than the ledger keeps for an account: the helper takes what it can put
    // back, the script the rest, which stays where it is until then.
    const std::size_t count = common::kHelperRequestItemLimit + 1000;
    std::string paths;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string path = "/Library/Caches/Big/item " + std::to_string(i);
        mac.write(platform::MacPath(path), std::to_string(i));
        paths += path + "\n";
    }
    auto moved = run(user, {"cleanup", home.path(), "-"}, paths);
    ASSERT_EQ(moved["moved"].size(), common::kHelperRequestItemLimit) << helper.log();
    ASSERT_EQ(moved["left"].size(), 1000u);
    EXPECT_EQ(moved["left"].front(), "/Library/Caches/Big/item 5000");
    EXPECT_EQ(mac.contents("/Library/Caches/Big/item 5999"_mac), "5999");
    EXPECT_EQ(moved.count("failed") + moved.count("missing"), 0u);

    auto back = run(user, {"undo", "-"}, undoRequest(moved["moved"]));
    EXPECT_EQ(back["restored"].size(), common::kHelperRequestItemLimit) << helper.log();
    EXPECT_EQ(back.count("failed") + back.count("left"), 0u)
        << (back.count("failed") ? back.at("failed").front() : "");
    for (std::size_t i = 0; i < count; i += 997)
        EXPECT_EQ(mac.contents(platform::MacPath("/Library/Caches/Big/item " + std::to_string(i))),
                  std::to_string(i));
    EXPECT_TRUE(fs::is_empty(mac.host(platform::MacPath(home.path() + "/.Trash"))));

    // The other account's records are all still there.
    auto otherBack = run(otherUser, {"undo", "-"}, undoRequest(otherMoved.at("moved")));
    EXPECT_EQ(otherBack["restored"].size(), 10u);
    EXPECT_EQ(mac.contents("/Library/Caches/Other/item 9"_mac), "other");
}

} // namespace
} // namespace veldo::helper
