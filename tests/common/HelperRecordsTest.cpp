// JSON round trips and refusals of the helper's request and reply records.
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"

using namespace veldo::common;
using veldo::ErrorCode;
using veldo::base::fromRawValue;
using veldo::base::rawValue;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;

namespace {

std::set<std::string> keysOf(const nlohmann::json& object)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.insert(key);
    return keys;
}

// A path with characters that need escaping or are outside ASCII.
const std::string kAwkwardPath =
    "/Users/u/Library/Caf\xC3\xA9 \"Quoted\" \\back\tslash \xE2\x80\x9Cx\xE2\x80\x9D";

} // namespace

TEST(HelperRecords, MoveRequestRoundTrip)
{
    VeldoHelperMoveRequest request;
    request.items = {
        {"/Library/LaunchDaemons/com.example.plist", "/Users/u/.Trash/com.example.plist"},
        {kAwkwardPath, "/Users/u/.Trash/Caf\xC3\xA9 2"}};
    auto text = request.encodeJSON();
    ASSERT_TRUE(text);
    auto parsed = nlohmann::json::parse(*text);
    EXPECT_EQ(keysOf(parsed), std::set<std::string>{"items"});
    EXPECT_EQ(keysOf(parsed["items"][0]), (std::set<std::string>{"source", "destination"}));

    auto decoded = VeldoHelperMoveRequest::decodeJSON(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, request);

    // Slashes escaped the way other JSON writers do read the same.
    auto escaped = VeldoHelperMoveRequest::decodeJSON(
        R"({"items":[{"source":"\/Users\/u\/x","destination":"\/Users\/u\/.Trash\/x"}]})");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->items,
              (std::vector<VeldoHelperMoveRequest::Item>{{"/Users/u/x", "/Users/u/.Trash/x"}}));
}

TEST(HelperRecords, RestoreRequestRoundTrip)
{
    VeldoHelperRestoreRequest request;
    request.items = {{"/Users/u/.Trash/Foo.app", "/Applications/Foo.app"},
                     {"/Users/u/.Trash/x", kAwkwardPath}};
    auto text = request.encodeJSON();
    ASSERT_TRUE(text);
    EXPECT_EQ(keysOf(nlohmann::json::parse(*text)["items"][1]),
              (std::set<std::string>{"trashPath", "originalPath"}));
    auto decoded = VeldoHelperRestoreRequest::decodeJSON(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, request);
}

TEST(HelperRecords, EmptyListsAreValid)
{
    auto move = VeldoHelperMoveRequest::decodeJSON(R"({"items":[]})");
    ASSERT_TRUE(move);
    EXPECT_TRUE(move->items.empty());
    auto restore = VeldoHelperRestoreRequest::decodeJSON(R"({"items":[]})");
    ASSERT_TRUE(restore);
    EXPECT_TRUE(restore->items.empty());

    auto text = VeldoHelperReply{}.encodeJSON();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({"results":[]})");
    auto reply = VeldoHelperReply::decodeJSON(*text);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->results.empty());
}

TEST(HelperRecords, RequestsTolerateExtraKeysAndRefuseMissingOnes)
{
    auto move = VeldoHelperMoveRequest::decodeJSON(
        R"({"version":2,"items":[{"source":"/a","destination":"/b","note":{"x":[1,[2]]}}]})");
    ASSERT_TRUE(move);
    EXPECT_EQ(move->items, (std::vector<VeldoHelperMoveRequest::Item>{{"/a", "/b"}}));

    const char* refusedMoves[] = {
        "",
        "not json",
        "[]",
        R"("items")",
        "{}",
        R"({"Items":[]})",
        R"({"items":null})",
        R"({"items":{}})",
        R"({"items":"[]"})",
        R"({"items":[{"source":"/a"}]})",
        R"({"items":[{"source":"/a","destination":null}]})",
        R"({"items":[{"source":null,"destination":"/b"}]})",
        R"({"items":[{"source":1,"destination":"/b"}]})",
        R"({"items":[{"source":["/a"],"destination":"/b"}]})",
        R"({"items":[["/a","/b"]]})",
        R"({"items":[null]})",
        R"({"items":[]} trailing)",
        R"({"items":[],})",
        "{\"items\":[{\"source\":\"/a\xFF\",\"destination\":\"/b\"}]}", // not UTF-8
        // Restore keys are not move keys.
        R"({"items":[{"trashPath":"/a","originalPath":"/b"}]})",
    };
    for (const char* text : refusedMoves) {
        auto decoded = VeldoHelperMoveRequest::decodeJSON(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error().code, ErrorCode::unreadable) << text;
    }

    const char* refusedRestores[] = {
        "{}",
        R"({"items":[{"trashPath":"/a"}]})",
        R"({"items":[{"trashPath":"/a","originalPath":null}]})",
        R"({"items":[{"source":"/a","destination":"/b"}]})",
    };
    for (const char* text : refusedRestores)
        EXPECT_FALSE(VeldoHelperRestoreRequest::decodeJSON(text)) << text;
}

TEST(HelperRecords, ResultWithOnlyPathAndOutcome)
{
    VeldoHelperReply reply;
    reply.results.push_back({"/Library/Foo", Outcome::missing, {}, {}, {}, {}, {}, {}});
    auto text = reply.encodeJSON();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({"results":[{"path":"/Library/Foo","outcome":"missing"}]})");
    auto parsed = nlohmann::json::parse(*text);
    EXPECT_EQ(keysOf(parsed["results"][0]), (std::set<std::string>{"path", "outcome"}));
}

TEST(HelperRecords, ReplyRoundTripWithEveryField)
{
    VeldoHelperReply reply;
    reply.results = {
        {"/Library/LaunchDaemons/a.plist", Outcome::done, "/Users/u/.Trash/a.plist", 4294967295u,
         2147483648u, std::nullopt, std::nullopt, std::nullopt},
        {kAwkwardPath, Outcome::notHandled, std::nullopt, std::nullopt, std::nullopt,
         "Veldo\xE2\x80\x99s helper doesn\xE2\x80\x99t manage \xE2\x80\x9C"
         "x\xE2\x80\x9D.",
         Reason::notManaged, std::nullopt},
        {"/b", Outcome::failed, std::nullopt, 0u, 0u, "It changed.", Reason::changed, true},
        {"/c", Outcome::failed, std::nullopt, 501u, 20u, std::nullopt, Reason::stopped, {}},
        {"/d", Outcome::failed, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         Reason::unsafePath, std::nullopt},
    };
    auto text = reply.encodeJSON();
    ASSERT_TRUE(text);

    // Ids above the signed 32-bit range are written as plain unsigned numbers.
    auto parsed = nlohmann::json::parse(*text);
    EXPECT_EQ(parsed["results"][0]["ownerID"].get<std::uint64_t>(), 4294967295u);
    EXPECT_EQ(parsed["results"][0]["groupID"].get<std::uint64_t>(), 2147483648u);
    EXPECT_EQ(parsed["results"][1]["outcome"], "notHandled");
    EXPECT_EQ(parsed["results"][1]["reason"], "notManaged");
    EXPECT_EQ(parsed["results"][4]["reason"], "unsafePath");
    EXPECT_EQ(parsed["results"][2]["retryable"], true);
    EXPECT_FALSE(parsed["results"][3].contains("retryable"));
    EXPECT_EQ(keysOf(parsed["results"][0]),
              (std::set<std::string>{"path", "outcome", "destination", "ownerID", "groupID"}));

    auto decoded = VeldoHelperReply::decodeJSON(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, reply);
}

TEST(HelperRecords, ReplyReadsNullOptionalsAsAbsent)
{
    auto decoded = VeldoHelperReply::decodeJSON(
        R"({"results":[{"path":"/a","outcome":"done","destination":null,"ownerID":null,)"
        R"("groupID":null,"message":null,"reason":null,"retryable":null,"extra":{"k":[null]}}],)"
        R"("more":1})");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->results.size(), 1u);
    EXPECT_EQ(decoded->results[0],
              (VeldoHelperItemResult{"/a", Outcome::done, {}, {}, {}, {}, {}, {}}));
}

TEST(HelperRecords, ReplyRefusals)
{
    auto withResult = [](const std::string& fields) {
        return R"({"results":[{"path":"/a",)" + fields + "}]}";
    };
    const std::string refused[] = {
        "{}",
        R"({"results":null})",
        R"({"results":{}})",
        R"({"results":[5]})",
        R"({"results":[{"outcome":"done"}]})",
        R"({"results":[{"path":null,"outcome":"done"}]})",
        R"({"results":[{"path":"/a"}]})",
        withResult(R"("outcome":null)"),
        withResult(R"("outcome":"Done")"),
        withResult(R"("outcome":"succeeded")"),
        withResult(R"("outcome":"")"),
        withResult(R"("outcome":0)"),
        withResult(R"("outcome":"failed","reason":"Stopped")"),
        withResult(R"("outcome":"failed","reason":"tooBig")"),
        withResult(R"("outcome":"failed","reason":1)"),
        withResult(R"("outcome":"done","ownerID":-1)"),
        withResult(R"("outcome":"done","ownerID":4294967296)"),
        withResult(R"("outcome":"done","groupID":18446744073709551616)"),
        withResult(R"("outcome":"done","ownerID":1.5)"),
        withResult(R"("outcome":"done","ownerID":1e3)"),
        withResult(R"("outcome":"done","ownerID":"501")"),
        withResult(R"("outcome":"done","ownerID":true)"),
        withResult(R"("outcome":"done","destination":5)"),
        withResult(R"("outcome":"done","message":["x"])"),
        withResult(R"("outcome":"failed","retryable":"yes")"),
        withResult(R"("outcome":"failed","retryable":1)"),
    };
    for (const std::string& text : refused) {
        auto decoded = VeldoHelperReply::decodeJSON(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error().code, ErrorCode::unreadable) << text;
    }
}

TEST(HelperRecords, NestingIsBounded)
{
    // An unknown key may carry nested values, up to a sane depth.
    std::string nested = std::string(20, '[') + std::string(20, ']');
    EXPECT_TRUE(VeldoHelperMoveRequest::decodeJSON(R"({"x":)" + nested + R"(,"items":[]})"));

    // Brackets inside strings are text, not nesting.
    std::string bracketsInPath(1000, '[');
    auto inString = VeldoHelperMoveRequest::decodeJSON(R"({"items":[{"source":")" + bracketsInPath +
                                                       R"(\"{","destination":"/b"}]})");
    ASSERT_TRUE(inString);
    EXPECT_EQ(inString->items[0].source, bracketsInPath + "\"{");

    std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(VeldoHelperMoveRequest::decodeJSON(R"({"x":)" + deep + R"(,"items":[]})"));
    EXPECT_FALSE(VeldoHelperReply::decodeJSON(R"({"results":[],"x":)" + deep + "}"));
}

TEST(HelperRecords, EncodingRefusesTextThatIsNotUTF8)
{
    VeldoHelperMoveRequest move;
    move.items = {{"/Users/u/bad\xFF", "/Users/u/.Trash/bad"}};
    auto moveText = move.encodeJSON();
    ASSERT_FALSE(moveText);
    EXPECT_EQ(moveText.error().code, ErrorCode::invalidArgument);

    VeldoHelperRestoreRequest restore;
    restore.items = {{"/Users/u/.Trash/x", "/Users/u/\xC3"}};
    EXPECT_FALSE(restore.encodeJSON());

    VeldoHelperReply reply;
    reply.results = {{"/a", Outcome::failed, std::nullopt, std::nullopt, std::nullopt,
                      std::string("half \xE2\x80"), std::nullopt, std::nullopt}};
    auto replyText = reply.encodeJSON();
    ASSERT_FALSE(replyText);
    EXPECT_EQ(replyText.error().code, ErrorCode::invalidArgument);
}

TEST(HelperRecords, RawValuesAreTheCaseNames)
{
    EXPECT_EQ(rawValue(Outcome::notHandled), "notHandled");
    EXPECT_EQ(fromRawValue<Outcome>("missing"), Outcome::missing);
    EXPECT_EQ(fromRawValue<Outcome>("notHandled"), Outcome::notHandled);
    EXPECT_EQ(fromRawValue<Outcome>("nothandled"), std::nullopt);
    EXPECT_EQ(rawValue(Reason::unsafePath), "unsafePath");
    EXPECT_EQ(fromRawValue<Reason>("notManaged"), Reason::notManaged);
    EXPECT_EQ(fromRawValue<Reason>("changed"), Reason::changed);
    EXPECT_EQ(fromRawValue<Reason>("Changed"), std::nullopt);
    // A result nobody filled in does not claim success.
    EXPECT_EQ(VeldoHelperItemResult{}.outcome, Outcome::failed);
}
