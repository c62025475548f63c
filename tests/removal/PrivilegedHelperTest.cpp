// The helper client over a real socket: the fake helper daemon answers each call as a test
// scripts it, and the client must turn every answer (or the lack of one) into the right value.
#include "app/removal/PrivilegedHelper.h"

#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "base/UniqueFd.h"
#include "common/HelperEndpoint.h"
#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperReply.h"
#include "platform/MainBundle.h"
#include "platform/ServiceManager.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

namespace PrivilegedHelper = veldo::removal::PrivilegedHelper;
using PrivilegedHelper::BatchResponse;
using veldo::UniqueFd;
using veldo::common::HelperReplyEnvelope;
using veldo::common::VeldoHelperItemResult;
using veldo::common::VeldoHelperMoveRequest;
using veldo::common::VeldoHelperReply;
using veldo::common::VeldoHelperRestoreRequest;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeHelper;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FakeServiceManager;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

namespace {

// The time-out of calls that are meant to run out (a hang, a late answer), and of the others.
constexpr auto kShort = 300ms;
constexpr auto kAmple = 10s;
constexpr const char* kLate = "late:700";

std::string envelope(const HelperReplyEnvelope& e)
{
    auto text = e.encodeJSON();
    EXPECT_TRUE(text.has_value());
    return text ? *text : std::string();
}

VeldoHelperReply sampleReply()
{
    VeldoHelperItemResult done;
    done.path = "/Library/Caches/com.example";
    done.outcome = VeldoHelperItemResult::Outcome::done;
    done.destination = "/Users/u/.Trash/com.example";
    done.ownerID = 0;
    VeldoHelperItemResult refused;
    refused.path = "/Library/Other";
    refused.outcome = VeldoHelperItemResult::Outcome::notHandled;
    refused.reason = VeldoHelperItemResult::Reason::notManaged;
    return VeldoHelperReply{{done, refused}};
}

std::string sampleReplyJSON()
{
    auto text = sampleReply().encodeJSON();
    EXPECT_TRUE(text.has_value());
    return text ? *text : std::string();
}

std::string versionJSON(std::int64_t protocol, const std::string& build)
{
    auto text = veldo::common::HelperVersionReply{protocol, build}.encodeJSON();
    EXPECT_TRUE(text.has_value());
    return text ? *text : std::string();
}

// The app bundle, with its build number when given.
void installApp(const FakeMac& mac, std::optional<PlistValue> build)
{
    PlistValue::Dictionary info{{"CFBundleIdentifier", "orbelkan.Veldo"}};
    if (build)
        info.emplace("CFBundleVersion", *build);
    mac.makeApp(veldo::platform::mainBundleURL(), PlistValue(info));
}

// Skips the test unless the fake helper can serve here.
#define SKIP_UNLESS_FAKE_HELPER_RUNS()                                                             \
    do {                                                                                           \
        std::string reason;                                                                        \
        if (!FakeHelper::canRun(reason))                                                           \
            GTEST_SKIP() << reason;                                                                \
    } while (false)

void settle(const FakeHelper& helper);

bool runsOut(std::string_view behaviour)
{
    return behaviour == "hang" || behaviour.starts_with("late:");
}

// The connections the fake accepted before one more version call, which it serves after them.
std::size_t connectionsBeforeProbe(const FakeHelper& helper)
{
    settle(helper);
    return helper.connections() - 1;
}

// Waits until the fake has served every earlier connection (a late answer sleeps first), so the
// next call meets a free fake. Counts as one connection.
void settle(const FakeHelper& helper)
{
    helper.setBehaviour("version", "reply");
    helper.setReply("version", versionJSON(3, "1"));
    EXPECT_TRUE(PrivilegedHelper::version(5s).has_value()) << "the fake did not settle";
}

struct BatchCase
{
    const char* name;
    const char* behaviour;
    std::string payload;
    BatchResponse expected;
};

std::vector<BatchCase> batchCases()
{
    const std::string data = sampleReplyJSON();
    const auto unreadable = BatchResponse::interrupted(PrivilegedHelper::kUnreadableReply);
    const auto silent = BatchResponse::interrupted(PrivilegedHelper::kDidNotRespond);
    return {
        {"a reply record", "reply", envelope(HelperReplyEnvelope::withData(data)),
         BatchResponse::ofResults(sampleReply().results)},
        {"an error sentence", "reply",
         envelope(HelperReplyEnvelope::withError("Veldo's helper is shutting down.")),
         BatchResponse::unavailable("Veldo's helper is shutting down.")},
        {"data beside an error", "reply",
         R"({"data":)" + nlohmann::json(data).dump() + R"(,"error":"ignored"})",
         BatchResponse::ofResults(sampleReply().results)},
        {"neither", "reply", "{}", BatchResponse::unavailable(PrivilegedHelper::kRefused)},
        {"both null", "reply", R"({"data":null,"error":null})",
         BatchResponse::unavailable(PrivilegedHelper::kRefused)},
        {"data of the wrong type", "reply", R"({"data":{"results":[]}})", unreadable},
        {"an error of the wrong type beside good data", "reply",
         R"({"data":)" + nlohmann::json(data).dump() + R"(,"error":7})", unreadable},
        {"a garbage envelope", "reply", "not json at all", unreadable},
        {"an envelope that is an array", "reply", "[]", unreadable},
        {"empty data", "reply", envelope(HelperReplyEnvelope::withData("")), unreadable},
        {"data that is not JSON", "reply", envelope(HelperReplyEnvelope::withData("{oops")),
         unreadable},
        {"data that is not a reply", "reply",
         envelope(HelperReplyEnvelope::withData(R"({"results":[{"path":"/x","outcome":"gone"}]})")),
         unreadable},
        {"a close without a reply", "close", "", silent},
        {"a hang", "hang", "", silent},
        {"a late answer", kLate, envelope(HelperReplyEnvelope::withData(data)), silent},
        {"a frame above the limit", "oversize", "", silent},
    };
}

VeldoHelperMoveRequest sampleMove()
{
    return VeldoHelperMoveRequest{{{"/Library/Caches/com.example", "/Users/u/.Trash/com.example"}}};
}

VeldoHelperRestoreRequest sampleRestore()
{
    return VeldoHelperRestoreRequest{
        {{"/Users/u/.Trash/com.example", "/Library/Caches/com.example"}}};
}

} // namespace

TEST(PrivilegedHelperSocket, EveryAnswerOfAMoveOrRestoreBecomesItsResponse)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    FakeHelper helper(mac);
    for (const auto& row : batchCases()) {
        for (const char* method : {"moveToTrash", "restore"}) {
            SCOPED_TRACE(std::string(method) + ": " + row.name);
            helper.setBehaviour(method, row.behaviour);
            helper.setReply(method, row.payload);
            const auto timeout = runsOut(row.behaviour) ? kShort : kAmple;
            const auto response =
                std::string_view(method) == "restore"
                    ? PrivilegedHelper::restoreItemsWithHelper(sampleRestore(), timeout)
                    : PrivilegedHelper::moveItemsWithHelper(sampleMove(), timeout);
            EXPECT_EQ(response, row.expected);
            settle(helper);
        }
    }
    // The requests went out as their records' JSON, one connection per call.
    const auto requests = helper.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0], "moveToTrash " + *sampleMove().encodeJSON());
    EXPECT_EQ(requests[2], "restore " + *sampleRestore().encodeJSON());
    EXPECT_EQ(connectionsBeforeProbe(helper), 4 * batchCases().size());
}

TEST(PrivilegedHelperSocket, TheVersionCallAnswersOnlyWithAReadableReplyInTime)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    FakeHelper helper(mac);
    helper.setReply("version", versionJSON(3, "1.2"));
    const auto reply = PrivilegedHelper::version(kAmple);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->protocolVersion, 3);
    EXPECT_EQ(reply->build, "1.2");
    EXPECT_EQ(helper.requests().back(), "version ");

    const struct
    {
        const char* behaviour;
        std::string payload;
    } absent[] = {
        {"reply", "garbage"},
        {"reply", R"({"protocolVersion":"3","build":"1.2"})"},
        {"reply", R"({"protocolVersion":3})"},
        {"close", ""},
        {"hang", ""},
        {kLate, versionJSON(3, "1.2")},
        {"oversize", ""},
    };
    for (const auto& row : absent) {
        SCOPED_TRACE(std::string(row.behaviour) + " " + row.payload);
        helper.setBehaviour("version", row.behaviour);
        helper.setReply("version", row.payload);
        EXPECT_FALSE(
            PrivilegedHelper::version(runsOut(row.behaviour) ? kShort : kAmple).has_value());
        settle(helper);
    }
}

TEST(PrivilegedHelperSocket, AnUnencodableRequestOpensNoConnection)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    FakeHelper helper(mac);
    const std::string notUTF8 = "/Library/Caches/\xff\xfe";
    const auto expected = BatchResponse::unavailable(PrivilegedHelper::kCouldNotEncode);
    EXPECT_EQ(PrivilegedHelper::moveItemsWithHelper(
                  VeldoHelperMoveRequest{{{notUTF8, "/Users/u/.Trash/x"}}}, kAmple),
              expected);
    EXPECT_EQ(PrivilegedHelper::restoreItemsWithHelper(
                  VeldoHelperRestoreRequest{{{"/Users/u/.Trash/x", notUTF8}}}, kAmple),
              expected);
    EXPECT_EQ(connectionsBeforeProbe(helper), 0u);
}

TEST(PrivilegedHelperSocket, AHelperThatIsNotPinnedIsNeverAsked)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    const auto silent = BatchResponse::interrupted(PrivilegedHelper::kDidNotRespond);

    // No socket at all.
    EXPECT_FALSE(PrivilegedHelper::version(kAmple).has_value());
    EXPECT_EQ(PrivilegedHelper::moveItemsWithHelper(sampleMove(), kAmple), silent);

    FakeHelper helper(mac);
    helper.setReply("version", versionJSON(3, "1"));
    helper.setReply("moveToTrash", envelope(HelperReplyEnvelope::withData(sampleReplyJSON())));
    // A folder on the way that someone else could have written: the socket could be anyone's.
    for (const char* folder : {"/", "/private", "/private/var", "/private/var/run"}) {
        SCOPED_TRACE(folder);
        const std::string host = mac.host(MacPath(std::string(folder)));
        ASSERT_EQ(::chmod(host.c_str(), 0775), 0);
        EXPECT_FALSE(PrivilegedHelper::version(kAmple).has_value());
        EXPECT_EQ(PrivilegedHelper::moveItemsWithHelper(sampleMove(), kAmple), silent);
        ASSERT_EQ(::chmod(host.c_str(), 0755), 0);
        ASSERT_EQ(::chown(host.c_str(), veldo::testsupport::unprivilegedUid(), 0), 0);
        EXPECT_FALSE(PrivilegedHelper::version(kAmple).has_value());
        ASSERT_EQ(::chown(host.c_str(), 0, 0), 0);
    }
    EXPECT_EQ(connectionsBeforeProbe(helper), 0u);
}

TEST(PrivilegedHelperSocket, AListenerOfAnotherUserIsRefusedBeforeTheRequest)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    // Root binds the socket in the trusted folder; a child that dropped root listens and
    // accepts, so the client sees the child's credentials.
    const std::string folderHost =
        mac.host(MacPath(std::string(veldo::common::kHelperSocketFolder)));
    UniqueFd folder(::open(folderHost.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder);
    auto address = veldo::common::socketAddressIn(folder.get(), veldo::common::kHelperSocketName);
    ASSERT_TRUE(address.has_value());
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address),
              0);
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(veldo::testsupport::unprivilegedGid()) != 0 ||
            ::setuid(veldo::testsupport::unprivilegedUid()) != 0 ||
            ::listen(listener.get(), 4) != 0)
            ::_exit(3);
        (void)::write(ready[1], "x", 1);
        pollfd entry{listener.get(), POLLIN, 0};
        if (::poll(&entry, 1, 10'000) != 1)
            ::_exit(4);
        UniqueFd client(::accept(listener.get(), nullptr, nullptr));
        const std::string answer = versionJSON(3, "1");
        auto request =
            veldo::common::readFrame(client.get(), std::chrono::steady_clock::now() + 10s);
        if (request && *request) {
            (void)veldo::common::writeFrame(client.get(), answer);
            ::_exit(1); // a request reached a listener that is not root
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the listener did not start";
    ::close(ready[0]);

    EXPECT_FALSE(PrivilegedHelper::version(5s).has_value());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    ::unlink(mac.host(MacPath(std::string(veldo::common::kHelperSocketPath))).c_str());
}

TEST(PrivilegedHelperSocket, AStopRequestEndsAWaitingCallWithItsFallback)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    FakeHelper helper(mac);
    helper.setBehaviour("moveToTrash", "hang");
    std::stop_source stop;
    std::jthread stopper([&] {
        // Stop once the fake has the request, so that the stop meets a waiting call.
        for (int i = 0; i < 2000 && helper.requests().empty(); ++i)
            std::this_thread::sleep_for(5ms);
        stop.request_stop();
    });
    EXPECT_EQ(PrivilegedHelper::moveItemsWithHelper(sampleMove(), PrivilegedHelper::kBatchTimeout,
                                                    stop.get_token()),
              BatchResponse::interrupted(PrivilegedHelper::kDidNotRespond));
}

TEST(PrivilegedHelper, DecodingTheHelpersDataAndSentence)
{
    const std::string data = sampleReplyJSON();
    EXPECT_EQ(PrivilegedHelper::decodeHelperReply(data, "ignored"),
              BatchResponse::ofResults(sampleReply().results));
    EXPECT_EQ(PrivilegedHelper::decodeHelperReply(std::nullopt, "Sentence."),
              BatchResponse::unavailable("Sentence."));
    EXPECT_EQ(PrivilegedHelper::decodeHelperReply(std::nullopt, std::nullopt),
              BatchResponse::unavailable(PrivilegedHelper::kRefused));
    EXPECT_EQ(PrivilegedHelper::decodeHelperReply(std::string("null"), std::nullopt),
              BatchResponse::interrupted(PrivilegedHelper::kUnreadableReply));
}

TEST(PrivilegedHelper, TheAppBuild)
{
    FakeMac mac;
    EXPECT_EQ(PrivilegedHelper::appBuildNumber(), "0") << "no bundle";
    installApp(mac, std::nullopt);
    EXPECT_EQ(PrivilegedHelper::appBuildNumber(), "0") << "no CFBundleVersion";
    installApp(mac, PlistValue(42));
    EXPECT_EQ(PrivilegedHelper::appBuildNumber(), "0") << "not a string";
    installApp(mac, PlistValue("0107"));
    EXPECT_EQ(PrivilegedHelper::appBuildNumber(), "0107");
}

namespace {

struct UsableSetup
{
    FakeMac mac;
    std::shared_ptr<veldo::platform::UserDefaults> defaults =
        std::make_shared<veldo::platform::UserDefaults>("/Users/Shared/orbelkan.Veldo.plist"_mac);
    FakeServiceManager services;

    UsableSetup()
    {
        (void)defaults->setBool(veldo::core::CleanupSettings::kUsePrivilegedHelperKey, true);
        services.statusValue = veldo::platform::kServiceEnabled;
        installApp(mac, PlistValue("1.2"));
    }

    bool usable(std::chrono::milliseconds timeout = kAmple)
    {
        return PrivilegedHelper::isHelperUsable(*defaults, services, timeout);
    }
};

} // namespace

TEST(PrivilegedHelperUsable, EachCheckFailsOnItsOwn)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    UsableSetup setup;
    FakeHelper helper(setup.mac);
    helper.setReply("version", versionJSON(3, "1.2"));
    EXPECT_TRUE(setup.usable());
    EXPECT_EQ(setup.services.statusCalls, 1);

    // The setting off (or not a Boolean): no status read, no connection.
    for (const PlistValue& off : {PlistValue(false), PlistValue("YES")}) {
        (void)setup.defaults->setObject(veldo::core::CleanupSettings::kUsePrivilegedHelperKey, off);
        setup.services.statusCalls = 0;
        EXPECT_FALSE(setup.usable());
        EXPECT_EQ(setup.services.statusCalls, 0);
    }
    (void)setup.defaults->setBool(veldo::core::CleanupSettings::kUsePrivilegedHelperKey, true);

    // Not enabled: no connection.
    for (auto raw :
         {veldo::platform::kServiceNotRegistered, veldo::platform::kServiceRequiresApproval,
          veldo::platform::kServiceNotFound, veldo::platform::ServiceStatusValue{7}}) {
        setup.services.statusValue = raw;
        EXPECT_FALSE(setup.usable()) << raw;
    }
    setup.services.statusValue = veldo::platform::kServiceEnabled;
    EXPECT_EQ(connectionsBeforeProbe(helper), 1u) << "only the first, usable call connected";

    // The answer: late, another protocol, another build (even only by leading zeros).
    const struct
    {
        const char* behaviour;
        std::string reply;
    } refused[] = {
        {kLate, versionJSON(3, "1.2")},     {"reply", versionJSON(2, "1.2")},
        {"reply", versionJSON(4, "1.2")},   {"reply", versionJSON(3, "01.2")},
        {"reply", versionJSON(3, "1.2.0")}, {"reply", versionJSON(3, "1.3")},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.reply + " " + row.behaviour);
        helper.setBehaviour("version", row.behaviour);
        helper.setReply("version", row.reply);
        EXPECT_FALSE(setup.usable(runsOut(row.behaviour) ? kShort : kAmple));
        settle(helper);
    }
    // The late answer changed nothing: the next call hears its own answer.
    helper.setBehaviour("version", "reply");
    helper.setReply("version", versionJSON(3, "1.2"));
    EXPECT_TRUE(setup.usable());
}

TEST(PrivilegedHelperUsable, AnAppWithoutABuildNumberComparesAgainstZero)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    UsableSetup setup;
    installApp(setup.mac, std::nullopt);
    FakeHelper helper(setup.mac);
    helper.setReply("version", versionJSON(3, "1.2"));
    EXPECT_FALSE(setup.usable());
    helper.setReply("version", versionJSON(3, "0"));
    EXPECT_TRUE(setup.usable());
}

TEST(PrivilegedHelperUsable, AnOrdinaryUserWithoutTheDaemonFallsBack)
{
    SKIP_UNLESS_FAKE_HELPER_RUNS();
    FakeMac mac;
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the unprivileged user can't reach the fake Mac in " << mac.root();
    installApp(mac, PlistValue("1.2"));
    mac.write(veldo::platform::mainBundleURL().appendingPathComponent(
                  std::string(veldo::common::kHelperLaunchDaemonPlist)),
              "<plist/>");
    auto services = veldo::removal::helperDaemonService();
    ASSERT_TRUE(services->registerService()) << "root's registration is approved at once";
    veldo::platform::UserDefaults defaults("/Users/Shared/orbelkan.Veldo.plist"_mac);
    (void)defaults.setBool(veldo::core::CleanupSettings::kUsePrivilegedHelperKey, true);

    const int rc = veldo::testsupport::runUnprivileged([&] {
        if (services->status() != veldo::platform::kServiceEnabled)
            return 2;
        return PrivilegedHelper::isHelperUsable(defaults, *services) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0) << "2: the helper did not read as enabled; 1: it was taken as usable";
}
