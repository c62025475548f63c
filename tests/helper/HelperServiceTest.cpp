// The request service: caller refusals, request reading, the move and restore batches and their
// stop, the version call beside a running batch, and the flush of the latest reply.
#include "helper/HelperService.h"

#include <filesystem>
#include <map>
#include <thread>
#include <tuple>

#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "helper/DaemonBuild.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperLog.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/helper/PausePoint.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
namespace helpersupport = veldo::helper::testsupport;
using namespace veldo::testsupport::literals;
using common::VeldoHelperItemResult;
using Outcome = VeldoHelperItemResult::Outcome;

std::string envelope(common::HelperMethod method, std::optional<std::string> request = {})
{
    return *common::HelperRequestEnvelope{method, std::move(request)}.encodeJSON();
}

std::string moveRequest(const std::vector<std::pair<std::string, std::string>>& items)
{
    common::VeldoHelperMoveRequest request;
    for (const auto& [source, destination] : items)
        request.items.push_back({source, destination});
    return *request.encodeJSON();
}

std::string restoreRequest(const std::vector<std::pair<std::string, std::string>>& items)
{
    common::VeldoHelperRestoreRequest request;
    for (const auto& [trashPath, originalPath] : items)
        request.items.push_back({trashPath, originalPath});
    return *request.encodeJSON();
}

class HelperServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testing::setSyslogEnabled(false);
        if (auto made = veldo::testsupport::TestUser::make(/*admin=*/true))
            admin.emplace(std::move(*made));
        if (auto made = veldo::testsupport::TestUser::make())
            plain.emplace(std::move(*made));
        if (!admin || !plain)
            GTEST_SKIP() << "the service's callers are test users: run as root";
        home = admin->homeIn(mac);
    }

    // Answers a move request of `uid` as the reply envelope.
    common::HelperReplyEnvelope move(uid_t uid, const std::string& request)
    {
        return call(common::HelperMethod::moveToTrash, uid, request);
    }
    common::HelperReplyEnvelope restore(uid_t uid, const std::string& request)
    {
        return call(common::HelperMethod::restore, uid, request);
    }
    common::HelperReplyEnvelope call(common::HelperMethod method, uid_t uid,
                                     const std::string& request)
    {
        HelperService service(uid, 1234);
        const auto answer = service.handle(envelope(method, request));
        EXPECT_FALSE(answer.closeAfterwards);
        auto decoded = common::HelperReplyEnvelope::decodeJSON(answer.payload);
        EXPECT_TRUE(decoded) << answer.payload;
        return decoded ? *decoded : common::HelperReplyEnvelope{};
    }

    std::string trash(const std::string& name) const { return home.path() + "/.Trash/" + name; }

    veldo::testsupport::FakeMac mac;
    std::optional<veldo::testsupport::TestUser> admin;
    std::optional<veldo::testsupport::TestUser> plain;
    platform::MacPath home;
};

TEST_F(HelperServiceTest, AdministratorsFileIsMovedIntoTheirTrash)
{
    mac.write("/Library/Caches/com.example/cache.db"_mac, "data");
    const auto reply = move(
        admin->uid(), moveRequest({{"/Library/Caches/com.example/cache.db", trash("cache.db")}}));
    ASSERT_TRUE(reply.data) << reply.error.value_or("");
    const auto decoded = common::VeldoHelperReply::decodeJSON(*reply.data);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->results.size(), 1u);
    EXPECT_EQ(decoded->results[0].outcome, Outcome::done)
        << decoded->results[0].message.value_or("");
    EXPECT_EQ(mac.contents(platform::MacPath(trash("cache.db"))), "data");
    EXPECT_FALSE(fs::exists(mac.host("/Library/Caches/com.example/cache.db"_mac)));

    const auto empty = move(admin->uid(), moveRequest({}));
    ASSERT_TRUE(empty.data);
    EXPECT_EQ(common::VeldoHelperReply::decodeJSON(*empty.data)->results.size(), 0u);
}

TEST_F(HelperServiceTest, RefusedCallersAndUnreadableRequestsTouchNothing)
{
    mac.write("/Library/Caches/keep.db"_mac, "data");
    const std::string one = moveRequest({{"/Library/Caches/keep.db", trash("keep.db")}});
    std::vector<std::pair<std::string, std::string>> many(
        HelperService::kMaximumItems + 1, {"/Library/Caches/keep.db", trash("keep.db")});
    const std::string restoreShaped = R"({"items":[{"trashPath":"/a","originalPath":"/b"}]})";

    struct Case
    {
        std::string label;
        uid_t uid;
        std::string request;
        std::string_view sentence;
    };
    const std::vector<Case> cases{
        {"root", 0, one, common::kHelperErrorUnknownAccount},
        {"no account", 0x7ffffff0u, one, common::kHelperErrorUnknownAccount},
        {"not an administrator", plain->uid(), one, common::kHelperErrorNotAdministrator},
        {"5001 items", admin->uid(), moveRequest(many), common::kHelperErrorUnreadableRequest},
        {"not JSON", admin->uid(), "items", common::kHelperErrorUnreadableRequest},
        {"the other request's shape", admin->uid(), restoreShaped,
         common::kHelperErrorUnreadableRequest},
    };
    for (const auto& c : cases) {
        const auto reply = move(c.uid, c.request);
        EXPECT_FALSE(reply.data) << c.label;
        EXPECT_EQ(reply.error, std::string(c.sentence)) << c.label;
    }
    EXPECT_EQ(mac.contents("/Library/Caches/keep.db"_mac), "data");
    EXPECT_FALSE(fs::exists(mac.host(platform::MacPath(trash("keep.db")))));
}

TEST_F(HelperServiceTest, MovedFileComesBackOnlyThroughAnAdministratorsReadableRestore)
{
    const std::string original = "/Library/Caches/com.example/cache.db";
    mac.write(platform::MacPath(original), "data");
    ASSERT_TRUE(move(admin->uid(), moveRequest({{original, trash("cache.db")}})).data);

    const std::string one = restoreRequest({{trash("cache.db"), original}});
    const std::vector<std::pair<std::string, std::string>> many(HelperService::kMaximumItems + 1,
                                                                {trash("cache.db"), original});
    const std::vector<std::tuple<uid_t, std::string, std::string_view>> refused{
        {0, one, common::kHelperErrorUnknownAccount},
        {plain->uid(), one, common::kHelperErrorNotAdministrator},
        {admin->uid(), restoreRequest(many), common::kHelperErrorUnreadableRequest},
        {admin->uid(), moveRequest({{trash("cache.db"), original}}),
         common::kHelperErrorUnreadableRequest},
    };
    for (const auto& [uid, request, sentence] : refused) {
        const auto reply = restore(uid, request);
        EXPECT_FALSE(reply.data) << sentence;
        EXPECT_EQ(reply.error, std::string(sentence));
    }
    EXPECT_EQ(mac.contents(platform::MacPath(trash("cache.db"))), "data");

    const auto reply = restore(admin->uid(), one);
    ASSERT_TRUE(reply.data) << reply.error.value_or("");
    const auto decoded = common::VeldoHelperReply::decodeJSON(*reply.data);
    ASSERT_TRUE(decoded && decoded->results.size() == 1u);
    EXPECT_EQ(decoded->results[0].outcome, Outcome::done)
        << decoded->results[0].message.value_or("");
    EXPECT_EQ(mac.contents(platform::MacPath(original)), "data");
    EXPECT_FALSE(fs::exists(mac.host(platform::MacPath(trash("cache.db")))));
}

TEST_F(HelperServiceTest, ALargeCleanupIsUndoneWholeWhateverAnotherAccountMoves)
{
    auto second = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!second)
        GTEST_SKIP() << "the second caller is a test user: run as root";
    const platform::MacPath secondHome = second->homeIn(mac);
    auto outcomes = [](const common::HelperReplyEnvelope& reply) {
        std::map<std::string, std::size_t> counts;
        if (!reply.data)
            return counts;
        const auto decoded = common::VeldoHelperReply::decodeJSON(*reply.data);
        for (const auto& result : decoded ? decoded->results : std::vector<VeldoHelperItemResult>{})
            ++counts[std::string(base::rawValue(result.outcome))];
        return counts;
    };
    using Counts = std::map<std::string, std::size_t>;

    // Every write to the state folder is flushed to disk, which makes thousands of them take
    // minutes on a slow disk: the state folder is a tmpfs of the test's own mount namespace (the
    // items and the Trash stay on the disk).
    const int status = helpersupport::inPrivateMountNamespace([&] {
        const std::string state = mac.host(common::stateDirectoryURL());
        fs::create_directories(state);
        if (::mount("veldo-state", state.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700") != 0)
            return 77;
        // More items than the ledger once held for all accounts together, in one request.
        constexpr std::size_t kItems = 2500;
        std::vector<std::pair<std::string, std::string>> moves;
        std::vector<std::pair<std::string, std::string>> restores;
        for (std::size_t i = 0; i < kItems; ++i) {
            const std::string original = "/Library/Caches/Big/item " + std::to_string(i);
            mac.write(platform::MacPath(original), std::to_string(i));
            moves.emplace_back(original, trash("item " + std::to_string(i)));
            restores.emplace_back(trash("item " + std::to_string(i)), original);
        }
        const auto moved = move(admin->uid(), moveRequest(moves));
        EXPECT_EQ(outcomes(moved), (Counts{{"done", kItems}})) << moved.error.value_or("");

        // Another administrator's batch afterwards takes none of those records.
        std::vector<std::pair<std::string, std::string>> others;
        for (int i = 0; i < 10; ++i) {
            const std::string original = "/Library/Caches/Other/item " + std::to_string(i);
            mac.write(platform::MacPath(original), "other");
            others.emplace_back(original, secondHome.path() + "/.Trash/item " + std::to_string(i));
        }
        EXPECT_EQ(outcomes(move(second->uid(), moveRequest(others))), (Counts{{"done", 10}}));

        const auto back = restore(admin->uid(), restoreRequest(restores));
        EXPECT_EQ(outcomes(back), (Counts{{"done", kItems}})) << back.error.value_or("");
        for (std::size_t i = 0; i < kItems; i += 499)
            EXPECT_EQ(mac.contents(platform::MacPath(restores[i].second)), std::to_string(i));
        EXPECT_TRUE(fs::is_empty(mac.host(platform::MacPath(home.path() + "/.Trash"))));
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace or tmpfs for the state folder here";
    EXPECT_EQ(status, 0);
}

TEST_F(HelperServiceTest, UnreadableEnvelopeIsAnsweredAndClosesTheConnection)
{
    HelperService service(admin->uid(), 1234);
    for (const std::string text : {"", "\xff\xfe", R"({"method":"erase"})", R"([1,2])"}) {
        const auto answer = service.handle(text);
        EXPECT_TRUE(answer.closeAfterwards) << text;
        EXPECT_EQ(common::HelperReplyEnvelope::decodeJSON(answer.payload)->error,
                  std::string(common::kHelperErrorUnreadableRequest));
    }
}

TEST_F(HelperServiceTest, VersionIsAnsweredWhileABatchHoldsTheWorkLock)
{
    const std::lock_guard batch(HelperService::workLock());
    HelperService service(plain->uid(), 1234);
    const auto answer = service.handle(envelope(common::HelperMethod::version));
    const auto version = common::HelperVersionReply::decodeJSON(answer.payload);
    ASSERT_TRUE(version) << answer.payload;
    EXPECT_EQ(version->protocolVersion, 3);
    EXPECT_EQ(version->build, "2");
    EXPECT_EQ(version->build, daemonBuild());
}

TEST(HelperServiceBuild, MissingOrOddBundleVersionIsBuildZero)
{
    EXPECT_EQ(buildOfInfoPlist(
                  R"(<plist><dict><key>CFBundleVersion</key><string>17.2</string></dict></plist>)"),
              "17.2");
    EXPECT_EQ(buildOfInfoPlist(
                  R"(<plist><dict><key>CFBundleName</key><string>x</string></dict></plist>)"),
              "0");
    EXPECT_EQ(buildOfInfoPlist(
                  R"(<plist><dict><key>CFBundleVersion</key><integer>3</integer></dict></plist>)"),
              "0");
}

TEST(HelperServiceBundles, OnlyAnAppThreeLevelsUpIsProtected)
{
    EXPECT_EQ(HelperService::protectedBundlesFor(
                  "/Applications/Veldo.app/Contents/MacOS/orbelkan.Veldo.Helper"_mac),
              std::vector<platform::MacPath>{"/Applications/Veldo.app"_mac});
    EXPECT_TRUE(HelperService::protectedBundlesFor("/usr/local/libexec/bin/helper"_mac).empty());
    EXPECT_TRUE(HelperService::protectedBundlesFor(std::nullopt).empty());
}

// The shutdown flag is set once for the whole process, so this runs in a child that reports by
// its exit status: 0 when every check held, else the number of the first that failed.
TEST_F(HelperServiceTest, ShutdownAtTheThirdItemStopsTheRestAndRefusesTheNextRequest)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 1; i <= 10; ++i) {
        const std::string name = "f" + std::to_string(i);
        mac.write(platform::MacPath("/Library/Caches/" + name), "x");
        items.emplace_back("/Library/Caches/" + name, trash(name));
    }
    const std::string request = moveRequest(items);
    const uid_t uid = admin->uid();
    const uid_t other = plain->uid();
    EXPECT_EXIT(
        {
            helpersupport::PausePoint pause;
            testing::setFaultPoints("move.staged:" + pause.action());
            common::HelperReplyEnvelope reply;
            std::thread batch([&] { reply = move(uid, request); });
            for (int item = 1; item <= 3; ++item) {
                if (!pause.waitReached())
                    std::_Exit(1);
                if (item == 3) {
                    // The batch holds the work lock; the version call does not wait for it.
                    const auto version =
                        HelperService(other, 1).handle(envelope(common::HelperMethod::version));
                    if (!common::HelperVersionReply::decodeJSON(version.payload))
                        std::_Exit(2);
                    HelperService::shutdownFlag().set();
                }
                pause.release();
            }
            batch.join();
            testing::setFaultPoints("");
            const auto decoded = common::VeldoHelperReply::decodeJSON(reply.data.value_or(""));
            if (!decoded || decoded->results.size() != 10)
                std::_Exit(3);
            for (std::size_t i = 0; i < 10; ++i) {
                const auto& result = decoded->results[i];
                const bool stopped =
                    result.outcome == Outcome::notHandled &&
                    result.reason == VeldoHelperItemResult::Reason::stopped &&
                    result.path == items[i].first &&
                    result.message == "Veldo's helper stopped before it got to this item.";
                // The third item, in hand at the stop, ends as the mover decides.
                if ((i < 2 && result.outcome != Outcome::done) || (i >= 3 && !stopped))
                    std::_Exit(4);
            }
            if (move(uid, request).error != std::string(common::kHelperErrorShuttingDown))
                std::_Exit(5);
            std::_Exit(fs::exists(mac.host("/Library/Caches/f4"_mac)) ? 0 : 6);
        },
        ::testing::ExitedWithCode(0), "");
}

// As above, in a child: the items of a restore not yet begun at the stop stay in the Trash and are
// answered with their Trash paths.
TEST_F(HelperServiceTest, ShutdownDuringARestoreAnswersTheRestByTheirTrashPaths)
{
    std::vector<std::pair<std::string, std::string>> moves;
    std::vector<std::pair<std::string, std::string>> restores;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "r" + std::to_string(i);
        mac.write(platform::MacPath("/Library/Caches/" + name), "x");
        moves.emplace_back("/Library/Caches/" + name, trash(name));
        restores.emplace_back(trash(name), "/Library/Caches/" + name);
    }
    const auto moved = move(admin->uid(), moveRequest(moves));
    ASSERT_TRUE(moved.data) << moved.error.value_or("");
    const std::string request = restoreRequest(restores);
    const uid_t uid = admin->uid();
    EXPECT_EXIT(
        {
            helpersupport::PausePoint pause;
            testing::setFaultPoints("restore.staged:" + pause.action());
            common::HelperReplyEnvelope reply;
            std::thread batch([&] { reply = restore(uid, request); });
            if (!pause.waitReached())
                std::_Exit(1);
            HelperService::shutdownFlag().set();
            pause.release();
            batch.join();
            testing::setFaultPoints("");
            const auto decoded = common::VeldoHelperReply::decodeJSON(reply.data.value_or(""));
            if (!decoded || decoded->results.size() != 3)
                std::_Exit(2);
            for (std::size_t i = 1; i < 3; ++i) {
                const auto& result = decoded->results[i];
                if (result.outcome != Outcome::notHandled ||
                    result.reason != VeldoHelperItemResult::Reason::stopped ||
                    result.path != restores[i].first ||
                    !fs::exists(mac.host(platform::MacPath(restores[i].first))))
                    std::_Exit(3);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(HelperServiceTest, FlushWaitsForTheLatestRepliesSend)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const base::UniqueFd client(pair[1]);
    auto connection =
        std::make_shared<HelperConnection>(base::UniqueFd(pair[0]), admin->uid(), 1234);
    HelperService service(admin->uid(), 1234, connection);
    const auto answer =
        service.handle(envelope(common::HelperMethod::moveToTrash, moveRequest({})));
    EXPECT_FALSE(connection->waitForReplies(std::chrono::milliseconds(50)));

    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        connection->sendReply(answer.payload);
    });
    HelperService::flushPendingReply(std::chrono::seconds(2));
    EXPECT_TRUE(connection->waitForReplies(std::chrono::milliseconds(0)));
    sender.join();
    EXPECT_EQ(common::readFrame(client.get()).value(), answer.payload);
}

} // namespace
} // namespace veldo::helper
