// Batches and bad input over the daemon's real socket, from the genuine client: two connections
// moving at once, a version call leaving during a batch, SIGTERM and SIGKILL in the middle of a
// batch, and frames the daemon can't read.
#include <string>

#include <gtest/gtest.h>

#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/helper/PausePoint.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;
using common::VeldoHelperItemResult;
using testsupport::ClientRun;
using testsupport::ClientUser;
using testsupport::InstalledHelper;
using Outcome = VeldoHelperItemResult::Outcome;

std::string versionEnvelope()
{
    return *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
}

constexpr std::string_view kVersionReply = R"(reply {"protocolVersion":3,"build":"2"})";

// The reply record of a probe's "reply" line.
std::optional<common::VeldoHelperReply> replyOf(const std::string& line)
{
    if (!line.starts_with("reply "))
        return std::nullopt;
    const auto envelope = common::HelperReplyEnvelope::decodeJSON(line.substr(6));
    if (!envelope || !envelope->data)
        return std::nullopt;
    auto reply = common::VeldoHelperReply::decodeJSON(*envelope->data);
    return reply ? std::optional(std::move(*reply)) : std::nullopt;
}

// One frame of `payload` as the probe's hexadecimal argument.
std::string hexFrame(const std::string& payload)
{
    static const char* digits = "0123456789abcdef";
    std::string bytes = {
        static_cast<char>(payload.size() >> 24), static_cast<char>((payload.size() >> 16) & 0xFF),
        static_cast<char>((payload.size() >> 8) & 0xFF), static_cast<char>(payload.size() & 0xFF)};
    bytes += payload;
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

class SocketBatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto made = veldo::testsupport::TestUser::make(/*admin=*/true))
            admin.emplace(std::move(*made));
        if (!admin)
            GTEST_SKIP() << "clients are test users: run as root";
        home = admin->homeIn(mac);
    }

    void install(std::vector<std::string> environment = {}, double idleSeconds = 30,
                 bool start = true)
    {
        InstalledHelper::Options options;
        options.environment = std::move(environment);
        options.idleSeconds = idleSeconds;
        helper.emplace(mac, options);
        if (start)
            helper->start();
    }

    // A move of the files `names` (made now in "/Library/Caches/batch") into the admin's Trash.
    std::string moveOf(const std::vector<std::string>& names) const
    {
        common::VeldoHelperMoveRequest request;
        for (const auto& name : names) {
            mac.write(platform::MacPath("/Library/Caches/batch/" + name), name);
            request.items.push_back(
                {"/Library/Caches/batch/" + name, home.path() + "/.Trash/" + name});
        }
        return *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash,
                                              *request.encodeJSON()}
                    .encodeJSON();
    }
    static std::vector<std::string> names(const std::string& stem, int count)
    {
        std::vector<std::string> made;
        for (int at = 0; at < count; ++at)
            made.push_back(stem + std::to_string(at));
        return made;
    }
    bool inTrash(const std::string& name) const
    {
        return fs::exists(mac.host(home) + "/.Trash/" + name);
    }
    bool inPlace(const std::string& name) const
    {
        return fs::exists(mac.host(platform::MacPath("/Library/Caches/batch/" + name)));
    }
    ClientRun call(const std::vector<std::string>& arguments) const
    {
        return testsupport::spawnClient(mac, helper->client(), arguments,
                                        ClientUser{admin->uid(), admin->gid()});
    }
    bool journalEmpty() const
    {
        const std::string staging = mac.host("/private/var/db/orbelkan.Veldo.Helper/Staging"_mac);
        return !fs::exists(staging) || fs::is_empty(staging);
    }

    // A batch of ten moves held at the third item's staging.
    ClientRun holdTheThirdOfTenItems(const testsupport::PausePoint& pause)
    {
        install({"VELDO_HELPER_FAULT=move.staged:" + pause.action()});
        auto run = call({"call", moveOf(names("item", 10))});
        for (int item = 0; item < 3; ++item) {
            EXPECT_TRUE(pause.waitReached()) << helper->log();
            if (item < 2)
                pause.release();
        }
        return run;
    }

    veldo::testsupport::FakeMac mac;
    std::optional<veldo::testsupport::TestUser> admin;
    platform::MacPath home;
    std::optional<InstalledHelper> helper;
};

TEST_F(SocketBatch, TwoConnectionsMovingAtOnceRunOneAfterTheOther)
{
    testsupport::PausePoint pause;
    install({"VELDO_HELPER_FAULT=move.staged:" + pause.action()});
    auto first = call({"call", moveOf({"first"})});
    ASSERT_TRUE(pause.waitReached()) << helper->log();
    auto second = call({"call", moveOf({"second"})});
    // A version call beside the held batch is answered; one that leaves early harms nothing.
    auto version = call({"call", versionEnvelope()});
    EXPECT_EQ(version.line().value_or(""), kVersionReply);
    auto leaving = call({"raw", hexFrame(versionEnvelope()), "close"});
    EXPECT_EQ(leaving.wait(), 0);
    auto leavingMidFrame = call({"raw", "00000010", "close"});
    EXPECT_EQ(leavingMidFrame.wait(), 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(inPlace("second")) << "the second batch waits for the first";
    pause.release();

    ASSERT_TRUE(pause.waitReached()) << helper->log();
    EXPECT_TRUE(inTrash("first"));
    pause.release();
    for (ClientRun* run : {&first, &second}) {
        const auto reply = replyOf(run->line().value_or(""));
        ASSERT_TRUE(reply) << helper->log();
        ASSERT_EQ(reply->results.size(), 1u);
        EXPECT_EQ(reply->results[0].outcome, Outcome::done);
    }
    EXPECT_TRUE(inTrash("second"));
}

TEST_F(SocketBatch, SIGTERMAtTheThirdItemStopsTheRestAndStillReplies)
{
    testsupport::PausePoint pause;
    auto run = holdTheThirdOfTenItems(pause);
    ASSERT_FALSE(HasFailure()) << "the batch never reached its third item";
    ::kill(helper->pid(), SIGTERM);
    ASSERT_TRUE(helper->logShows("SIGTERM; stopping after the current item"));
    pause.release();

    const auto reply = replyOf(run.line().value_or(""));
    ASSERT_TRUE(reply) << helper->log();
    ASSERT_EQ(reply->results.size(), 10u);
    for (std::size_t at = 0; at < 10; ++at) {
        SCOPED_TRACE(at);
        if (at < 2) {
            EXPECT_EQ(reply->results[at].outcome, Outcome::done);
            EXPECT_TRUE(inTrash("item" + std::to_string(at)));
        } else if (at == 2) {
            // The item in hand ends as the mover decides; its answer says where it is.
            EXPECT_EQ(inTrash("item2"), reply->results[at].outcome == Outcome::done);
            EXPECT_NE(inPlace("item2"), inTrash("item2"));
        } else {
            EXPECT_EQ(reply->results[at].outcome, Outcome::notHandled);
            EXPECT_EQ(reply->results[at].reason, VeldoHelperItemResult::Reason::stopped);
            EXPECT_TRUE(inPlace("item" + std::to_string(at)));
        }
    }
    EXPECT_EQ(helper->waitExit(10s), 0);
    EXPECT_TRUE(journalEmpty());
}

TEST_F(SocketBatch, AKilledDaemonLeavesNothingHalfDoneAfterItsNextStart)
{
    testsupport::PausePoint pause;
    auto run = holdTheThirdOfTenItems(pause);
    ASSERT_FALSE(HasFailure()) << "the batch never reached its third item";
    ::kill(helper->pid(), SIGKILL);
    EXPECT_EQ(run.line().value_or(""), "closed");
    EXPECT_EQ(helper->waitExit(10s), 128 + SIGKILL);

    // The next start settles the third item: back in its place.
    helper->start(std::vector<std::string>{});
    auto version = call({"call", versionEnvelope()});
    EXPECT_EQ(version.line().value_or(""), kVersionReply) << helper->log();
    EXPECT_TRUE(helper->logShows("Settled 1 interrupted item(s)")) << helper->log();
    for (int at = 0; at < 10; ++at) {
        SCOPED_TRACE(at);
        const std::string name = "item" + std::to_string(at);
        EXPECT_EQ(inTrash(name), at < 2);
        EXPECT_EQ(inPlace(name), at >= 2);
    }
    EXPECT_TRUE(journalEmpty());
}

TEST_F(SocketBatch, BadInputIsAnsweredOrClosedAndTheDaemonGoesOn)
{
    install();
    const std::string unreadable =
        "reply {\"error\":\"" + std::string(common::kHelperErrorUnreadableRequest) + "\"}";
    struct Case
    {
        const char* label;
        std::string hex;
        const char* then;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"an oversized header", "01000001", "read", unreadable + "\nclosed\n"},
        {"bytes that are not UTF-8", hexFrame("{\"method\":\"\xff\xfe\"}"), "read",
         unreadable + "\nclosed\n"},
        {"JSON nested too deep", hexFrame(std::string(5000, '[') + std::string(5000, ']')), "read",
         unreadable + "\nclosed\n"},
        {"an unknown method", hexFrame(R"({"method":"format"})"), "read",
         unreadable + "\nclosed\n"},
        {"a truncated frame and a half-close", "0000001000", "half-close",
         unreadable + "\nclosed\n"},
        {"a client closing in the middle of a frame", "0000001000", "close", ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        auto run = call({"raw", test.hex, test.then});
        EXPECT_EQ(run.rest(), test.expected) << helper->log();
        auto version = call({"call", versionEnvelope()});
        EXPECT_EQ(version.line().value_or(""), kVersionReply) << "still serving";
    }
    EXPECT_TRUE(journalEmpty());
    // A client that closed may be gone before its bytes are checked; none is refused otherwise.
    const std::string log = helper->log();
    for (auto at = log.find("Refusing"); at != std::string::npos; at = log.find("Refusing", at + 1))
        EXPECT_EQ(log.substr(log.find(':', at), log.find('\n', at) - log.find(':', at)),
                  ": it has gone")
            << log;
}

TEST_F(SocketBatch, AStalledSenderIsClosedAndKeepsTheDaemonNoLongerThanItsIdleTime)
{
    // The client connects before the daemon starts, so that however slowly it starts, the idle
    // time can't pass before it has connected.
    install({"VELDO_HELPER_FRAME_TIMEOUT=0.3"}, 0.5, /*start=*/false);
    auto run = call({"raw", "0000001000", "read"});
    ASSERT_TRUE(helper->connectionWaits(10s));
    helper->start();
    EXPECT_EQ(run.rest(), "reply {\"error\":\"" +
                              std::string(common::kHelperErrorUnreadableRequest) + "\"}\nclosed\n")
        << helper->log();
    EXPECT_TRUE(helper->logShows("a request didn't arrive whole within 0.3 seconds"))
        << helper->log();
    EXPECT_EQ(helper->waitExit(3s), 0) << helper->log();
}

} // namespace
} // namespace veldo::helper
