// The client requirement over the daemon's real socket: the app's own executable from the bundle
// holding the daemon is served; every impostor is closed unanswered with one error line and
// nothing moved. Each case runs with the kernel's process descriptors on the socket and with
// them turned off (pinning by process id and start time).
#include <algorithm>
#include <string>

#include <sys/ptrace.h>

#include <gtest/gtest.h>

#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "tests/helper/InstalledHelper.h"
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

    InstalledHelper::Options options(std::string build = "2") const
    {
        InstalledHelper::Options made;
        made.build = std::move(build);
        made.usePidfdOptions = GetParam();
        return made;
    }
    ClientUser adminUser() const { return {admin->uid(), admin->gid()}; }

    // The item was not moved.
    void expectUntouched() const
    {
        EXPECT_EQ(mac.contents("/Library/Caches/keep.db"_mac), "data");
        EXPECT_TRUE(fs::is_empty(mac.host(home) + "/.Trash"));
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

    // The genuine client is served.
    {
        auto run = testsupport::spawnClient(mac, helper.client(), {"call", versionEnvelope()},
                                            adminUser());
        EXPECT_EQ(run.line().value_or(""), R"(reply {"protocolVersion":3,"build":"2"})")
            << helper.log();
        EXPECT_EQ(run.wait(), 0);
    }

    const std::string preload = mac.host("/Users/Shared/erase.so"_mac);
    fs::copy_file(VELDO_HELPER_PRELOAD, preload);
    ASSERT_EQ(::chown(preload.c_str(), admin->uid(), admin->gid()), 0);

    struct Case
    {
        const char* label;
        std::function<ClientRun()> start;
        bool traced = false;
    };
    const std::vector<Case> cases{
        {"a copy outside the bundle",
         [&] {
             return testsupport::spawnClient(mac, helper.outsideClient(), {"call", move},
                                             adminUser());
         }},
        {"a client that runs another program after connecting",
         [&] {
             return testsupport::spawnClient(mac, helper.client(),
                                             {"exec-after-connect", helper.outsideClient(), move},
                                             adminUser());
         }},
        {"a connector that runs the client while its child writes",
         [&] {
             return testsupport::spawnClient(mac, helper.outsideClient(),
                                             {"fork-then-exec", helper.client(), move},
                                             adminUser());
         }},
        {"a writer whose connector has gone",
         [&] {
             return testsupport::spawnClient(mac, helper.client(), {"orphan-writer", move},
                                             adminUser());
         }},
        {"a traced client",
         [&] {
             return testsupport::spawnClient(mac, helper.client(), {"wait-then-call", move},
                                             adminUser());
         },
         true},
        {"a client with a library of its user's preloaded",
         [&] {
             return testsupport::spawnClient(mac, helper.client(), {"call", move}, adminUser(),
                                             {"LD_PRELOAD=" + preload});
         }},
    };
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
        while (refusalLines(helper.log()) == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(50ms);
        const std::size_t lines = refusalLines(helper.log()) - before;
        EXPECT_TRUE(sent ? lines == 1 : lines <= 1) << output << helper.log();
        expectUntouched();
    }

    // The daemon still serves the genuine client.
    auto run =
        testsupport::spawnClient(mac, helper.client(), {"call", versionEnvelope()}, adminUser());
    EXPECT_EQ(run.line().value_or(""), R"(reply {"protocolVersion":3,"build":"2"})");
    EXPECT_EQ(helper.log().find("move "), std::string::npos) << "nothing was moved";
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
