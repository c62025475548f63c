// The client requirement over the daemon's real socket: the app's own executable from the bundle
// holding the daemon is served; every impostor is closed unanswered with one error line and
// nothing moved. Each case runs with the kernel's process descriptors on the socket and with
// them turned off (pinning by process id and start time).
#include <algorithm>
#include <fstream>
#include <string>

#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/helper/PausePoint.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using testsupport::ClientRun;
using testsupport::ClientUser;
using testsupport::InstalledHelper;

std::string versionEnvelope()
{
    return *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
}

std::string moveEnvelope(const std::string& source, const std::string& destination)
{
    common::VeldoHelperMoveRequest request;
    request.items.push_back({source, destination});
    return *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
                .encodeJSON();
}

// The client's output when the daemon left it unanswered: closed after its request, or closed
// before the request could be sent.
bool unanswered(const std::string& output)
{
    return output == "closed\n" || output.starts_with("unsent ");
}

std::size_t refusalLines(const std::string& log)
{
    std::size_t count = 0;
    for (std::size_t at = log.find("error [listener] Refusing pid"); at != std::string::npos;
         at = log.find("error [listener] Refusing pid", at + 1))
        ++count;
    return count;
}

class ClientRequirement : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (auto made = veldo::testsupport::TestUser::make(/*admin=*/true))
            admin.emplace(std::move(*made));
        if (!admin)
            GTEST_SKIP() << "clients are test users: run as root";
        home = admin->homeIn(mac);
        mac.write("/Library/Caches/keep.db"_mac, "data");
        move = moveEnvelope("/Library/Caches/keep.db", home.path() + "/.Trash/keep.db");
    }

    // The daemon counts one account's repeated lines in windows this long: each case below is
    // the first of its window, so its line is written whatever the cases before it said.
    static constexpr auto kLinesWindow = 100ms;

    InstalledHelper::Options options(std::string build = "2") const
    {
        InstalledHelper::Options made;
        made.build = std::move(build);
        made.usePidfdOptions = GetParam();
        made.environment = {"VELDO_HELPER_LINES_WINDOW=" +
                            std::to_string(std::chrono::duration<double>(kLinesWindow).count())};
        return made;
    }
    ClientUser adminUser() const { return {admin->uid(), admin->gid()}; }

    // The item was not moved.
    void expectUntouched() const
    {
        EXPECT_EQ(mac.contents("/Library/Caches/keep.db"_mac), "data");
        EXPECT_TRUE(fs::is_empty(mac.host(home) + "/.Trash"));
    }

    // The genuine client's version call is answered (made as `arguments` say, when given).
    void expectServed(InstalledHelper& helper, const std::vector<std::string>& environment = {},
                      const std::vector<std::string>& arguments = {"call", versionEnvelope()})
    {
        auto run =
            testsupport::spawnClient(mac, helper.client(), arguments, adminUser(), environment);
        EXPECT_EQ(run.line().value_or(""), R"(reply {"protocolVersion":3,"build":"2"})")
            << helper.log();
        EXPECT_EQ(run.wait(), 0);
    }

    struct Case
    {
        std::string label;
        std::function<ClientRun()> start;
        bool traced = false;
        std::string reason = {}; // what the refusal line says, when the case decides it
    };
    // Starts `program` with `arguments` as the administrator, with `environment` added.
    std::function<ClientRun()> starting(std::string program, std::vector<std::string> arguments,
                                        std::vector<std::string> environment = {})
    {
        return [=, this] {
            return testsupport::spawnClient(mac, program, arguments, adminUser(), environment);
        };
    }
    // Each case's client is closed unanswered with one refusal line, and nothing is moved.
    void expectEachClosedUnanswered(InstalledHelper& helper, const std::vector<Case>& cases)
    {
        for (const auto& test : cases) {
            SCOPED_TRACE(test.label);
            const std::size_t before = refusalLines(helper.log());
            ClientRun run = test.start();
            if (test.traced) {
                ASSERT_EQ(run.line().value_or(""), "ready");
                ASSERT_EQ(::ptrace(PTRACE_SEIZE, run.pid(), nullptr, nullptr), 0);
                run.send("go\n");
            }
            const std::string output = run.rest();
            // A client whose own write failed sent nothing the daemon could refuse.
            const bool sent = !output.starts_with("unsent");
            EXPECT_TRUE(unanswered(output)) << output;
            // The line of this case, and no second one.
            const auto deadline = std::chrono::steady_clock::now() + (sent ? 10s : 1s);
            while (refusalLines(helper.log()) == before &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
            std::this_thread::sleep_for(kLinesWindow + 50ms); // and the window has ended
            const std::size_t lines = refusalLines(helper.log()) - before;
            EXPECT_TRUE(sent ? lines == 1 : lines <= 1) << output << helper.log();
            if (!test.reason.empty()) {
                EXPECT_NE(helper.log().find(": " + test.reason + "\n"), std::string::npos)
                    << helper.log();
            }
            expectUntouched();
        }
    }

    veldo::testsupport::FakeMac mac;
    std::optional<veldo::testsupport::TestUser> admin;
    platform::MacPath home;
    std::string move;
};

TEST_P(ClientRequirement, ImpostorsAreClosedUnansweredWithOneLine)
{
    InstalledHelper helper(mac, options());
    helper.start();
    expectServed(helper);

    const std::string preload = mac.host("/Users/Shared/erase.so"_mac);
    fs::copy_file(VELDO_HELPER_PRELOAD, preload);
    ASSERT_EQ(::chown(preload.c_str(), admin->uid(), admin->gid()), 0);
    const std::string client = helper.client();
    const std::string outside = helper.outsideClient();
    expectEachClosedUnanswered(
        helper,
        {
            {"a copy outside the bundle", starting(outside, {"call", move})},
            {"a client that runs another program after connecting",
             starting(client, {"exec-after-connect", outside, move})},
            {"a connector that runs the client while its child writes",
             starting(outside, {"fork-then-exec", client, move})},
            {"a writer whose connector has gone", starting(client, {"orphan-writer", move})},
            {"a traced client", starting(client, {"wait-then-call", move}), true},
            {"a client with a library of its user's preloaded",
             starting(client, {"call", move}, {"LD_PRELOAD=" + preload})},
        });
    expectServed(helper);
    EXPECT_EQ(helper.log().find("move "), std::string::npos) << "nothing was moved";
}

// Loader variables naming a file of the user's, and a preloaded library that hides its code and
// its LD_PRELOAD once it has run, are refused; loader variables naming root's files are not.
TEST_P(ClientRequirement, LoaderVariablesAndLibrariesOfTheUsersAreClosedUnanswered)
{
    InstalledHelper helper(mac, options());
    helper.start();
    const std::string client = helper.client();
    const std::string ownFolder = mac.host(home);
    std::vector<Case> cases{
        {"a library folder of its user's",
         starting(client, {"call", move}, {"LD_LIBRARY_PATH=/usr/lib:" + ownFolder}), false,
         "its LD_LIBRARY_PATH names " + ownFolder + ", which is not root's alone"},
        {"the working folder as a library folder",
         starting(client, {"call", move}, {"LD_LIBRARY_PATH=/usr/lib:"}), false,
         "its LD_LIBRARY_PATH names the working folder, which is not root's alone"},
    };
#ifndef __SANITIZE_THREAD__ // its run-time can't be loaded beside an audit interface (static TLS)
    cases.push_back({"an audit library of its user's that is gone",
                     starting(client, {"call", move}, {"LD_AUDIT=" + ownFolder + "/audit.so"}),
                     false,
                     "its LD_AUDIT names " + ownFolder + "/audit.so, which is not root's alone"});
#endif
#ifdef VELDO_HELPER_HIDE
    const std::string hidden = ownFolder + "/hide.so";
    fs::copy_file(VELDO_HELPER_HIDE, hidden);
    ASSERT_EQ(::chown(hidden.c_str(), admin->uid(), admin->gid()), 0);
    // Both scrub LD_PRELOAD from the environment block: only their mappings show them.
    for (const auto& [label, mode] :
         {std::pair{"a library that takes away its code's execute permission", "protect"},
          std::pair{"a library that unmaps its code", "unmap"}})
        cases.push_back({label,
                         starting(client, {"call", move},
                                  {"LD_PRELOAD=" + hidden, std::string("VELDO_HIDE=") + mode}),
                         false, "it maps " + hidden + ", which is not root's alone"});
#endif
    expectEachClosedUnanswered(helper, cases);

    const std::string rootsPreload = mac.host("/Library/erase.so"_mac);
    fs::copy_file(VELDO_HELPER_PRELOAD, rootsPreload);
    expectServed(helper, {"LD_PRELOAD=" + rootsPreload + " liberase-absent.so", "LD_AUDIT=",
                          "LD_LIBRARY_PATH=" + mac.host("/Library"_mac) + ":/usr/lib"});
}

// What the loader read is judged by what its user may change since: a loader variable that
// leads through a link of the user's (pointed at root's library once it had loaded), or names a
// library or link in a folder others may add to, is refused, however root's its end is now;
// links and folders of root's alone lead to a library that is served.
TEST_P(ClientRequirement, LoaderVariablesThroughWhatTheUserMayChangeAreClosedUnanswered)
{
    InstalledHelper helper(mac, options());
    helper.start();
    const std::string client = helper.client();
    const std::string library = mac.host("/Library/Caches"_mac);
    const std::string rootsLibrary = library + "/erase.so";
    fs::copy_file(VELDO_HELPER_PRELOAD, rootsLibrary);
    const std::string own = mac.host(home);
    const std::string sticky = mac.host("/private/tmp"_mac);
    ASSERT_EQ(fs::status(sticky).permissions() & fs::perms::all, fs::perms::all);
    const auto link = [&](const std::string& at, const std::string& target, uid_t owner) {
        fs::create_symlink(target, at);
        EXPECT_EQ(::lchown(at.c_str(), owner, admin->gid()), 0) << at;
        return at;
    };
    const uid_t user = admin->uid();
    const std::string inHome = link(own + "/erase.so", rootsLibrary, user);
    const std::string inRoots = link(mac.host("/Library/erase.so"_mac), rootsLibrary, user);
    const std::string onTheWay =
        link(mac.host("/Library/Current"_mac), library, user) + "/erase.so";
    const std::string foldersLink = link(own + "/lib", library, user);
    const std::string inSticky = sticky + "/erase.so";
    fs::copy_file(VELDO_HELPER_PRELOAD, inSticky);
    const std::string rootsLinkInSticky = link(sticky + "/erase-link.so", rootsLibrary, 0);

    const auto refused = [&](const std::string& label, const std::string& variable,
                             const std::string& value, const std::string& why) {
        return Case{label, starting(client, {"call", move}, {variable + "=" + value}), false,
                    "its " + variable + " names " + value + ", " + why};
    };
    const std::string notRoots = "which is not root's alone";
    const std::string openFolder = "which lies in a folder others may add to";
    expectEachClosedUnanswered(
        helper,
        {
            refused("a link of the user's in its home", "LD_PRELOAD", inHome, notRoots),
            refused("a link of the user's in root's folder", "LD_PRELOAD", inRoots, notRoots),
            refused("a folder's link of the user's on the way", "LD_PRELOAD", onTheWay, notRoots),
            refused("a library folder through a link of the user's", "LD_LIBRARY_PATH", foldersLink,
                    notRoots),
            refused("root's library in a sticky folder open to all", "LD_PRELOAD", inSticky,
                    openFolder),
            refused("root's link in a sticky folder open to all", "LD_PRELOAD", rootsLinkInSticky,
                    openFolder),
        });

    // Links of root's, a ".." on the way, and the system's own links ("/lib" on a merged /usr).
    const std::string current = mac.host("/Library/Current.so"_mac);
    fs::create_symlink("Caches/erase.so", current);
    const std::string folder = mac.host("/Library/Folder"_mac);
    fs::create_symlink(library, folder);
    std::vector<std::string> libraryFolders{"/usr/lib", folder};
    if (fs::is_symlink("/lib") && fs::is_directory("/lib/"))
        libraryFolders.emplace_back("/lib");
    std::string folders;
    for (const std::string& each : libraryFolders)
        folders += (folders.empty() ? "" : ":") + each;
    expectServed(helper, {"LD_PRELOAD=" + current + " " + folder + "/../Caches/erase.so",
                          "LD_LIBRARY_PATH=" + folders});
}

// The data a desktop app maps is no reason to refuse it: files of its user's that hold no code, a
// device of root's that its group may write (as the GPU's nodes are) and shared memory of its own.
// A library mapped only to be read is: the rest of one that hid its code looks just so.
TEST_P(ClientRequirement, MappedDataIsServedAndMappedLibrariesNotRootsAloneAreRefused)
{
    InstalledHelper helper(mac, options());
    helper.start();
    const std::string own = mac.host(home);
    const auto ownedBy = [](const std::string& path, uid_t uid, gid_t gid, mode_t mode) {
        ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
        ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
    };
    const std::string cache = own + "/fonts.cache-9";
    std::ofstream(cache) << "font cache, no code";
    ownedBy(cache, admin->uid(), admin->gid(), 0644);
    const std::string empty = own + "/empty";
    std::ofstream{empty};
    ownedBy(empty, admin->uid(), admin->gid(), 0644);
    const std::string device = own + "/card0";
    ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0660, ::makedev(1, 5)), 0); // memory, as /dev/zero
    ownedBy(device, 0, admin->gid(), 0660);
    expectServed(helper, {},
                 {"map-then-call", versionEnvelope(), cache, empty, device, "memfd", "sysv"});

    const std::string library = own + "/plugin.so";
    fs::copy_file(VELDO_HELPER_PRELOAD, library);
    ownedBy(library, admin->uid(), admin->gid(), 0644);
    const std::string groupWritable = mac.host("/Library/plugin.so"_mac);
    fs::copy_file(VELDO_HELPER_PRELOAD, groupWritable);
    ownedBy(groupWritable, 0, admin->gid(), 0664);
    std::vector<Case> cases;
    for (const auto& [label, path] :
         {std::pair{"a library of its user's", library},
          std::pair{"a library of root's its group may write", groupWritable}})
        cases.push_back({std::string(label) + ", mapped only to be read",
                         starting(helper.client(), {"map-then-call", move, cache, path}), false,
                         "it maps " + path + ", which is not root's alone"});
    expectEachClosedUnanswered(helper, cases);
}

// A client that ends while the daemon reads its mappings is refused as gone, not for a file its
// vanished memory seemed to map.
TEST_P(ClientRequirement, AClientEndingWhileItsMappingsAreReadIsRefusedAsGone)
{
    testsupport::PausePoint pause;
    auto paused = options();
    paused.environment.push_back("VELDO_HELPER_FAULT=client.maps:" + pause.action());
    InstalledHelper helper(mac, paused);
    helper.start();
    auto run =
        testsupport::spawnClient(mac, helper.client(), {"call", versionEnvelope()}, adminUser());
    const std::string refusal = "Refusing pid " + std::to_string(run.pid()) + ": ";
    ASSERT_TRUE(pause.waitReached()) << helper.log();
    ::kill(run.pid(), SIGKILL);
    run.wait();
    pause.release();
    ASSERT_TRUE(helper.logShows(refusal)) << helper.log();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(helper.logShows(refusal + "it has gone\n", 0ms)) << helper.log();
    EXPECT_EQ(refusalLines(helper.log()), 1u) << helper.log();
}

// From a user and pid namespace of its own, a writer can name another process of that namespace
// (here the genuine client, which made the connection) and user 0 of it as the writer.
TEST_P(ClientRequirement, AWriterNamingTheClientFromItsOwnNamespacesIsClosedUnanswered)
{
    InstalledHelper helper(mac, options());
    helper.start();
    auto run = testsupport::spawnClient(mac, helper.outsideClient(),
                                        {"forge-in-namespace", helper.client(), move}, adminUser());
    const std::string output = run.rest();
    if (output.starts_with("no namespaces"))
        GTEST_SKIP() << "the kernel refuses new user and pid namespaces here: " << output;
    EXPECT_TRUE(unanswered(output)) << output;
    EXPECT_TRUE(helper.logShows("another namespace")) << helper.log();
    EXPECT_EQ(refusalLines(helper.log()), 1u) << helper.log();
    expectUntouched();
}

TEST_P(ClientRequirement, AnOlderAppBuildIsClosedUnanswered)
{
    InstalledHelper helper(mac, options("1"));
    helper.start();
    auto run = testsupport::spawnClient(mac, helper.client(), {"call", move}, adminUser());
    const std::string output = run.rest();
    EXPECT_TRUE(unanswered(output)) << output;
    EXPECT_TRUE(helper.logShows("Refusing pid")) << helper.log();
    EXPECT_EQ(refusalLines(helper.log()), 1u) << helper.log();
    expectUntouched();
}

TEST_P(ClientRequirement, RootAndNonAdministratorsAreAnswered)
{
    auto plain = veldo::testsupport::TestUser::make();
    ASSERT_TRUE(plain);
    plain->homeIn(mac);
    InstalledHelper helper(mac, options());
    helper.start();

    const std::pair<std::optional<ClientUser>, std::string> cases[] = {
        {std::nullopt, std::string(common::kHelperErrorUnknownAccount)},
        {ClientUser{plain->uid(), plain->gid()}, std::string(common::kHelperErrorNotAdministrator)},
    };
    for (const auto& [user, sentence] : cases) {
        auto run = testsupport::spawnClient(mac, helper.client(), {"call", move}, user);
        const std::string line = run.line().value_or("");
        EXPECT_NE(line.find(sentence), std::string::npos) << line << helper.log();
        EXPECT_EQ(run.wait(), 0);
    }
    EXPECT_EQ(refusalLines(helper.log()), 0u) << helper.log();
    expectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Pinning, ClientRequirement, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "ProcessDescriptors" : "ProcessIds";
                         });

} // namespace
} // namespace veldo::helper
