// The administrator script move on a fake Mac: what is refused before the password dialog, and
// whole moves as root through the stand-in osascript, with the changes a racer can make before
// the script or between its renames.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/AdminMover.h"
#include "common/RemovalSafety.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/SystemError.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/Unprivileged.h"

namespace AdminRemover = veldo::removal::AdminRemover;
namespace fs = std::filesystem;
using veldo::common::RemovalSafety::Context;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;

namespace {

constexpr const char* kCancelled = "Administrator authorization was cancelled.";
constexpr const char* kRefusedByMacOS =
    "macOS refused to move this item even with administrator rights. It may be protected by the "
    "system.";

#define SKIP_UNLESS_ROOT()                                                                         \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "the stand-in osascript runs scripts only in a fake Mac that root "    \
                            "owns; run as root";                                                   \
    } while (false)

Context contextFor(const MacPath& home)
{
    return Context{home, {"/Applications/Veldo.app"_mac}, {}, false};
}

struct stat statusOf(const FakeMac& mac, const MacPath& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(mac.host(path).c_str(), &st), 0) << path.path();
    return st;
}

bool present(const FakeMac& mac, const MacPath& path)
{
    struct stat st
    {
    };
    return ::lstat(mac.host(path).c_str(), &st) == 0;
}

std::size_t occurrences(const std::string& text, const std::string& piece)
{
    std::size_t count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

// A tree outside the fake Mac that links made by a racer point into; it must never change.
class Canary
{
public:
    explicit Canary(const FakeMac& mac) : m_folder(mac.root() + "-canary")
    {
        fs::create_directories(m_folder + "/Caches/inner");
        write("/Caches/cache.db", "canary db");
        write("/Caches/inner/file", "canary file");
        write("/.Trash-note", "canary trash");
        m_before = snapshot();
    }
    ~Canary() { fs::remove_all(m_folder); }
    const std::string& folder() const { return m_folder; }
    void expectUnchanged(const char* name) const { EXPECT_EQ(snapshot(), m_before) << name; }

private:
    void write(const std::string& relative, const std::string& bytes) const
    {
        FILE* f = std::fopen((m_folder + relative).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(bytes.c_str(), f);
        std::fclose(f);
    }
    // Name → inode, owner, mode and contents of everything in the tree.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(m_folder)) {
            struct stat st
            {
            };
            ::lstat(entry.path().c_str(), &st);
            std::string value = std::to_string(st.st_ino) + " " + std::to_string(st.st_uid) + " " +
                                std::to_string(st.st_mode);
            if (S_ISREG(st.st_mode)) {
                std::ifstream in(entry.path());
                value += " " + std::string(std::istreambuf_iterator<char>(in), {});
            }
            entries[entry.path().string()] = value;
        }
        return entries;
    }

    std::string m_folder;
    std::map<std::string, std::string> m_before;
};

} // namespace

TEST(AdminMoveScript, RefusalsBeforeTheDialog)
{
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath home = mac.home();
    mac.write("/Library/Caches/real/cache.db"_mac, "x");
    mac.symlink("/Library/linked"_mac, "/Library/Caches/real");
    mac.write("/Library/bad\xff/x"_mac, "x");
    const auto context = contextFor(home);
    const std::vector<MacPath> items{
        "/Library"_mac,
        "/Applications/Veldo.app"_mac,
        "/Library/../Library/Caches"_mac, // standardizes to a protected place
        "/Library/Caches/a\nb"_mac,
        "/Library/linked/cache.db"_mac,
        "/Library/linked/gone"_mac,
        "/Library/Caches/missing"_mac,
        "/Library/Caches/nowhere/missing"_mac,
        MacPath("/Library/" + std::string(256, 'n') + "/x"),
        "/Library/bad\xff/x"_mac,
    };
    const auto result = AdminRemover::runMoveScript(items, context);
    const auto refusal = [&](const char* path) {
        return veldo::common::removalRefusalMessage(
            *veldo::common::removalRefusal(MacPath(path), context));
    };
    const std::map<std::string, std::string> expected{
        {"/Library", refusal("/Library")},
        {"/Applications/Veldo.app", "Veldo can't remove itself."},
        {"/Library/Caches", refusal("/Library/Caches")},
        {"/Library/Caches/a\nb",
         "The path contains characters Veldo won't pass to an administrator command."},
        {"/Library/linked/cache.db", "A folder on the way to this item is a symbolic link, so "
                                     "Veldo won't move it with an administrator password."},
        // No link there: the system's text for a name too long, and unsafe characters for a
        // folder name that is not UTF-8.
        {"/Library/" + std::string(256, 'n') + "/x",
         veldo::platform::SystemError::posix(ENAMETOOLONG).localizedDescription()},
        {"/Library/bad\xff/x",
         "The path contains characters Veldo won't pass to an administrator command."},
    };
    EXPECT_EQ(result.failures, expected);
    EXPECT_EQ(result.missing,
              (std::set<std::string>{"/Library/linked/gone", "/Library/Caches/missing",
                                     "/Library/Caches/nowhere/missing"}));
    EXPECT_TRUE(result.moved.empty());
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_TRUE(osascript.prompts().empty()) << "no dialog when nothing is left to move";
    EXPECT_TRUE(present(mac, "/Library/Caches/real/cache.db"_mac));
}

TEST(AdminMoveScript, ATrashThatIsALinkOrAnotherUsersRefusesEveryItem)
{
    SKIP_UNLESS_ROOT();
    for (const bool link : {true, false}) {
        FakeMac mac;
        StandInOsascript osascript(mac);
        const MacPath trash = mac.home().appendingPathComponent(".Trash");
        fs::remove_all(mac.host(trash));
        if (link) {
            mac.mkdir("/Library/Elsewhere"_mac);
            mac.symlink(trash, "/Library/Elsewhere");
        } else {
            mac.mkdir(trash, 0700);
            ASSERT_EQ(::chown(mac.host(trash).c_str(), veldo::testsupport::unprivilegedUid(),
                              veldo::testsupport::unprivilegedGid()),
                      0);
        }
        const MacPath item = mac.write("/Library/Caches/cache.db"_mac, "x");
        const auto result = AdminRemover::runMoveScript({item, "/Library"_mac, "relative"_mac},
                                                        contextFor(mac.home()));
        const std::string sentence = "Your Trash folder is missing or isn't a normal folder.";
        EXPECT_EQ(result.failures, (std::map<std::string, std::string>{
                                       {item.path(), sentence},
                                       {"/Library", sentence},
                                       {"relative", sentence},
                                   }))
            << (link ? "link" : "another user's");
        EXPECT_TRUE(result.missing.empty());
        EXPECT_TRUE(osascript.prompts().empty());
        EXPECT_TRUE(present(mac, item));
    }
}

TEST(AdminMoveScript, AnItemOnAnotherVolumeIsRefused)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath volume = mac.mkdir("/Volumes/Other"_mac);
    if (::mount("tmpfs", mac.host(volume).c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "can't mount a tmpfs here: " << std::strerror(errno);
    const MacPath item = mac.write("/Volumes/Other/Library/file"_mac, "x");
    const auto result = AdminRemover::runMoveScript({item}, contextFor(mac.home()));
    ::umount2(mac.host(volume).c_str(), MNT_DETACH);
    EXPECT_EQ(result.failures.at(item.path()),
              "This item is on another volume, so Veldo won't move it with an administrator "
              "password.");
    EXPECT_TRUE(osascript.prompts().empty());
}

// A folder only root may open hides the item from the account, so nothing proves what the script
// would move: the item is refused before any dialog, with a sentence that names that folder and
// says what can go instead (never the bare "Permission denied").
TEST(AdminMoveScript, AnItemInAFolderOnlyRootOpensIsRefusedNamingTheFolder)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    const uid_t uid = veldo::testsupport::unprivilegedUid();
    const auto childHome = veldo::platform::homeDirectoryForUser(uid);
    ASSERT_TRUE(childHome);
    mac.mkdir(*childHome, 0755);
    const MacPath childTrash = mac.mkdir(childHome->appendingPathComponent(".Trash"), 0700);
    for (const MacPath& own : {*childHome, childTrash})
        ASSERT_EQ(::chown(mac.host(own).c_str(), uid, veldo::testsupport::unprivilegedGid()), 0);
    mac.mkdir("/Library/Application Support/x"_mac, 0700);
    mac.mkdir("/Library/Application Support/x/deeper"_mac, 0755);
    const std::vector<MacPath> items{
        mac.write("/Library/Application Support/x/data"_mac, "x"),
        mac.write("/Library/Application Support/x/deeper/db"_mac, "x")};
    const std::string expected = "The folder “x” around this item is open only to the system, so "
                                 "Veldo can't check the item inside it. You can remove the whole "
                                 "folder instead.";

    const int rc = veldo::testsupport::runUnprivileged([&] {
        const auto result = AdminRemover::runMoveScript(items, contextFor(*childHome));
        if (result.failures.size() != 2 || !result.missing.empty() || !result.moved.empty())
            return 2;
        for (const MacPath& item : items)
            if (result.failures.at(item.path()) != expected)
                return 3;
        return 0;
    });
    EXPECT_EQ(rc, 0) << "2: not two failures; 3: not the closed folder's sentence";
    EXPECT_TRUE(osascript.prompts().empty());
    for (const MacPath& item : items)
        EXPECT_TRUE(present(mac, item)) << item.path();
}

TEST(AdminMoveScript, MovesRootOwnedItemsIntoTheTrash)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    const MacPath file = mac.write("/Library/Caches/com.acme/cache.db"_mac, "db", 0600);
    ASSERT_EQ(::chown(mac.host(file).c_str(), 0, 20), 0);
    const MacPath folder =
        mac.write("/Library/Application Support/it's/data"_mac, "d").deletingLastPathComponent();
    const MacPath app = mac.write("/Applications/Acme.app/Contents/Info.plist"_mac, "<plist/>")
                            .deletingLastPathComponent()
                            .deletingLastPathComponent();
    const MacPath daemon = mac.write("/Library/LaunchDaemons/com.acme.helper.plist"_mac, "p");
    mac.write(trash.appendingPathComponent("cache.db"), "older");
    std::map<std::string, struct stat> before;
    for (const MacPath& p : {file, folder, app, daemon})
        before[p.path()] = statusOf(mac, p);
    const struct stat daemonsFolder = statusOf(mac, "/Library/LaunchDaemons"_mac);

    const auto result = AdminRemover::runMoveScript(
        {file, folder, app, daemon, "/Library/Caches/com.acme/./cache.db/"_mac},
        contextFor(mac.home()));
    EXPECT_TRUE(result.failures.empty()) << result.failures.begin()->second;
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_EQ(osascript.prompts(),
              std::vector<std::string>{"Veldo needs an administrator password to move 4 items "
                                       "to your Trash."});
    ASSERT_EQ(osascript.scripts().size(), 1u);
    EXPECT_EQ(occurrences(osascript.scripts()[0], "R() {"), 4u) << "the same path makes one clause";
    ASSERT_EQ(result.moved.size(), 4u);
    const std::vector<std::string> destinations{"cache 2.db", "it's", "Acme.app",
                                                "com.acme.helper.plist"};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& move = result.moved[i];
        const struct stat& was = before.at(move.source.path());
        SCOPED_TRACE(move.source.path());
        EXPECT_EQ(move.destination, trash.appendingPathComponent(destinations[i]));
        EXPECT_FALSE(present(mac, move.source));
        const struct stat now = statusOf(mac, move.destination);
        EXPECT_EQ(now.st_ino, was.st_ino);
        EXPECT_EQ(move.inode, was.st_ino);
        EXPECT_EQ(move.device, static_cast<std::int64_t>(was.st_dev));
        EXPECT_EQ(move.ownerID, was.st_uid);
        EXPECT_EQ(move.groupID, was.st_gid);
        EXPECT_FALSE(move.movedByHelper);
        const struct stat parent = statusOf(mac, move.source.deletingLastPathComponent());
        EXPECT_EQ(move.parentInode, parent.st_ino);
        EXPECT_EQ(move.parentDevice, static_cast<std::int64_t>(parent.st_dev));
        EXPECT_EQ(move.parentOwnerID, parent.st_uid);
    }
    EXPECT_EQ(result.moved[0].groupID, 20u);
    EXPECT_EQ(result.moved[3].parentInode, daemonsFolder.st_ino);
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("cache.db")), "older");
    EXPECT_EQ(osascript.launchctl().calls(),
              std::vector<std::string>{"[bootout][system][" + daemon.path() + "]"});
    // The staging folders are gone.
    EXPECT_TRUE(fs::is_empty(mac.host("/private/var/tmp"_mac)));
}

TEST(AdminMoveScript, ADaemonIsBootedBackInOnlyWhenItStaysInPlace)
{
    SKIP_UNLESS_ROOT();
    struct Case
    {
        const char* name;
        bool bootoutFails;
        bool stagingFails;   // the item is a mount point: rename fails with EBUSY
        bool nameTakenAfter; // the destination is taken after the first rename: put back
        std::vector<std::string> verbs;
    };
    const Case cases[] = {
        {"staging fails", false, true, false, {"bootout", "bootstrap"}},
        {"put back", false, false, true, {"bootout", "bootstrap"}},
        {"failed bootout, put back", true, false, true, {"bootout"}},
        {"failed bootout, moved", true, false, false, {"bootout"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMac mac;
        StandInOsascript osascript(mac);
        const MacPath daemon = mac.write("/Library/LaunchDaemons/com.acme.helper.plist"_mac, "p");
        const MacPath destination =
            mac.home().appendingPathComponent(".Trash/com.acme.helper.plist");
        const std::string host = mac.host(daemon);
        if (c.bootoutFails)
            osascript.launchctl().setOutput("bootout", "", "", 5);
        if (c.stagingFails && ::mount(host.c_str(), host.c_str(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "can't bind-mount here: " << std::strerror(errno);
        if (c.nameTakenAfter)
            osascript.setPerlRenameHook(1, "touch '" + mac.host(destination) + "'");
        const auto result = AdminRemover::runMoveScript({daemon}, contextFor(mac.home()));
        if (c.stagingFails)
            ::umount2(host.c_str(), MNT_DETACH);
        const bool moved = !c.stagingFails && !c.nameTakenAfter;
        EXPECT_EQ(result.moved.size(), moved ? 1u : 0u);
        EXPECT_EQ(present(mac, daemon), !moved);
        if (!moved) {
            EXPECT_EQ(result.failures.at(daemon.path()), kRefusedByMacOS);
        }
        std::vector<std::string> expected;
        for (const auto& verb : c.verbs)
            expected.push_back("[" + verb + "][system][" + daemon.path() + "]");
        EXPECT_EQ(osascript.launchctl().calls(), expected);
    }
}

TEST(AdminMoveScript, PromptForOneItemAndACancelledDialog)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath one = mac.write("/Library/Caches/one"_mac, "1");
    auto result = AdminRemover::runMoveScript({one}, contextFor(mac.home()));
    EXPECT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(osascript.prompts(),
              std::vector<std::string>{
                  "Veldo needs an administrator password to move 1 item to your Trash."});

    osascript.setCancels();
    const MacPath two = mac.write("/Library/Caches/two"_mac, "2");
    const MacPath three = mac.write("/Library/Caches/three"_mac, "3");
    result = AdminRemover::runMoveScript({two, "/Library"_mac, three, "/Library/Caches/gone"_mac},
                                         contextFor(mac.home()));
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_TRUE(result.moved.empty());
    EXPECT_EQ(result.failures.at(two.path()), kCancelled);
    EXPECT_EQ(result.failures.at(three.path()), kCancelled);
    EXPECT_NE(result.failures.at("/Library"), kCancelled);
    EXPECT_EQ(result.missing, std::set<std::string>{"/Library/Caches/gone"});
    EXPECT_TRUE(present(mac, two) && present(mac, three));
}

TEST(AdminMoveScript, ARacersChangesLeaveTheItemInPlaceOrPutBack)
{
    SKIP_UNLESS_ROOT();
    struct Case
    {
        const char* name;
        bool afterFirstRename; // else before the script
        // The hook's shell command from the host paths of the parent, item and Trash, and the
        // canary folder.
        std::string (*hook)(const std::string& p, const std::string& i, const std::string& t,
                            const std::string& canary);
        // Where the item's bytes must be afterwards, relative to the Mac root's "/Library".
        const char* itemAt;
    };
    const Case cases[] = {
        {"the item replaced", false,
         [](const std::string&, const std::string& i, const std::string&, const std::string&) {
             return "mv '" + i + "' '" + i + ".moved' && printf new > '" + i + "'";
         },
         "Caches/com.acme/cache.db.moved"},
        {"the parent swapped for a link", false,
         [](const std::string& p, const std::string&, const std::string&,
            const std::string& canary) {
             return "mv '" + p + "' '" + p + ".old' && ln -s '" + canary + "/Caches' '" + p + "'";
         },
         "Caches/com.acme.old/cache.db"},
        {"the Trash replaced", false,
         [](const std::string&, const std::string&, const std::string& t, const std::string&) {
             return "mv '" + t + "' '" + t + ".old' && mkdir -m 700 '" + t + "'";
         },
         "Caches/com.acme/cache.db"},
        {"the Trash swapped for a link", false,
         [](const std::string&, const std::string&, const std::string& t,
            const std::string& canary) {
             return "mv '" + t + "' '" + t + ".old' && ln -s '" + canary + "' '" + t + "'";
         },
         "Caches/com.acme/cache.db"},
        {"the destination name taken", true,
         [](const std::string&, const std::string&, const std::string& t, const std::string&) {
             return "printf taken > '" + t + "/cache.db'";
         },
         "Caches/com.acme/cache.db"},
        {"the Trash swapped for a link while staged", true,
         [](const std::string&, const std::string&, const std::string& t,
            const std::string& canary) {
             return "mv '" + t + "' '" + t + ".old' && ln -s '" + canary + "' '" + t + "'";
         },
         "Caches/com.acme/cache.db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMac mac;
        StandInOsascript osascript(mac);
        Canary canary(mac);
        const MacPath item = mac.write("/Library/Caches/com.acme/cache.db"_mac, "item");
        const MacPath trash = mac.home().appendingPathComponent(".Trash");
        const std::string command = c.hook(mac.host(item.deletingLastPathComponent()),
                                           mac.host(item), mac.host(trash), canary.folder());
        if (c.afterFirstRename)
            osascript.setPerlRenameHook(1, command);
        else
            osascript.setHook(command);
        const auto result = AdminRemover::runMoveScript({item}, contextFor(mac.home()));
        EXPECT_TRUE(result.moved.empty());
        EXPECT_EQ(result.failures.at(item.path()), kRefusedByMacOS);
        EXPECT_EQ(mac.contents(MacPath("/Library").appendingPathComponent(c.itemAt)), "item");
        EXPECT_FALSE(fs::exists(fs::path(mac.host(trash)) / "cache.db") &&
                     mac.contents(trash.appendingPathComponent("cache.db")) == "item");
        EXPECT_TRUE(fs::is_empty(mac.host("/private/var/tmp"_mac))) << "no staging folder left";
        canary.expectUnchanged(c.name);
    }
}

TEST(AdminMoveScript, AnItemThatCanNeitherGoOnNorBackIsHeldInItsStagingFolder)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath item = mac.write("/Library/Caches/com.acme/cache.db"_mac, "item");
    const std::string t = mac.host(mac.home().appendingPathComponent(".Trash"));
    osascript.setPerlRenameHook(1, "mv '" + t + "' '" + t + ".old' && mkdir -m 700 '" + t +
                                       "' && printf other > '" + mac.host(item) + "'");
    const auto result = AdminRemover::runMoveScript({item}, contextFor(mac.home()));
    EXPECT_TRUE(result.moved.empty());
    const std::string sentence = result.failures.at(item.path());
    const std::string prefix = "Veldo couldn't finish moving it, so it was left in ";
    ASSERT_TRUE(sentence.starts_with(prefix + "/private/var/tmp/veldo.")) << sentence;
    ASSERT_TRUE(sentence.ends_with(", which only an administrator can open.")) << sentence;
    const std::string folder = sentence.substr(
        prefix.size(), sentence.size() - prefix.size() -
                           std::string(", which only an administrator can open.").size());
    EXPECT_EQ(mac.contents(MacPath(folder).appendingPathComponent("i")), "item");
    EXPECT_EQ(mac.contents(item), "other");
    EXPECT_TRUE(fs::is_empty(t));
}

TEST(AdminMoveScript, AStopEndsTheScriptBeforeItMovesAnything)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath item = mac.write("/Library/Caches/cache.db"_mac, "x");
    // The dialog stays open for two seconds; the stop comes while it is shown.
    osascript.setHook("sleep 2");
    std::stop_source stop;
    std::thread stopper([&] {
        for (int i = 0; i < 500 && osascript.prompts().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop.request_stop();
    });
    const auto result = AdminRemover::moveToTrash({item}, contextFor(mac.home()), stop.get_token());
    stopper.join();
    EXPECT_TRUE(result.moved.empty());
    EXPECT_EQ(result.failures.at(item.path()), "The administrator command didn't run.");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(present(mac, item)) << "the script went on after the stop";
}
