// The envelopes around helper calls and answers, and the version reply.
#include <string>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "tests/support/HeapPeak.h"

using namespace veldo::common;
using veldo::ErrorCode;

TEST(HelperEnvelope, RequestRoundTrips)
{
    VeldoHelperMoveRequest move;
    move.items = {{"/Library/Foo \"1\"", "/Users/u/.Trash/Foo \"1\""}};
    auto record = move.encodeJSON();
    ASSERT_TRUE(record);

    const HelperRequestEnvelope envelopes[] = {
        {HelperMethod::moveToTrash, *record},
        {HelperMethod::restore, std::string(R"({"items":[]})")},
        {HelperMethod::version, std::nullopt},
    };
    for (const HelperRequestEnvelope& envelope : envelopes) {
        auto text = envelope.encodeJSON();
        ASSERT_TRUE(text);
        auto decoded = HelperRequestEnvelope::decodeJSON(*text);
        ASSERT_TRUE(decoded) << *text;
        EXPECT_EQ(*decoded, envelope);
    }
    const HelperRequestEnvelope versionCall{HelperMethod::version, std::nullopt};
    EXPECT_EQ(*versionCall.encodeJSON(), R"({"method":"version"})");

    // The record travels as text and comes out byte for byte.
    auto text = HelperRequestEnvelope{HelperMethod::moveToTrash, *record}.encodeJSON();
    ASSERT_TRUE(text);
    auto decoded = HelperRequestEnvelope::decodeJSON(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->request, *record);
    EXPECT_EQ(*VeldoHelperMoveRequest::decodeJSON(*decoded->request), move);
}

TEST(HelperEnvelope, RequestRefusals)
{
    const HelperRequestEnvelope moveWithoutRequest{HelperMethod::moveToTrash, std::nullopt};
    EXPECT_EQ(moveWithoutRequest.encodeJSON().error().code, ErrorCode::invalidArgument);
    EXPECT_FALSE((HelperRequestEnvelope{HelperMethod::restore, std::nullopt}.encodeJSON()));
    EXPECT_FALSE((HelperRequestEnvelope{HelperMethod::version, std::string("{}")}.encodeJSON()));

    const char* refused[] = {
        "",
        "[]",
        "{}",
        R"({"method":null})",
        R"({"method":"MoveToTrash","request":"{}"})",
        R"({"method":"delete","request":"{}"})",
        R"({"method":3})",
        R"({"method":"moveToTrash"})",
        R"({"method":"restore","request":null})",
        R"({"method":"moveToTrash","request":{"items":[]}})",
        R"({"method":"version"}{})",
    };
    for (const char* text : refused) {
        auto decoded = HelperRequestEnvelope::decodeJSON(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error().code, ErrorCode::unreadable) << text;
    }

    // Extra keys are tolerated; a request sent along with version means nothing.
    auto version =
        HelperRequestEnvelope::decodeJSON(R"({"method":"version","request":"x","id":7})");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->method, HelperMethod::version);
    EXPECT_EQ(version->request, std::nullopt);
}

TEST(HelperEnvelope, ReadableEnvelopeAroundUnreadableRecord)
{
    auto envelope =
        HelperRequestEnvelope::decodeJSON(R"({"method":"moveToTrash","request":"{\"items\":5}"})");
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->method, HelperMethod::moveToTrash);
    EXPECT_FALSE(VeldoHelperMoveRequest::decodeJSON(*envelope->request));
}

TEST(HelperEnvelope, ReplyHoldsExactlyOneOfDataAndError)
{
    auto data = HelperReplyEnvelope::withData(R"({"results":[]})").encodeJSON();
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, R"({"data":"{\"results\":[]}"})");
    auto error =
        HelperReplyEnvelope::withError(std::string(kHelperErrorNotAdministrator)).encodeJSON();
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, R"({"error":"Veldo's helper only works for administrator accounts."})");

    EXPECT_EQ(*HelperReplyEnvelope::decodeJSON(*data),
              HelperReplyEnvelope::withData(R"({"results":[]})"));
    EXPECT_EQ(*HelperReplyEnvelope::decodeJSON(*error),
              HelperReplyEnvelope::withError(std::string(kHelperErrorNotAdministrator)));
    EXPECT_EQ(*HelperReplyEnvelope::decodeJSON(R"({"data":null,"error":"E.","x":[]})"),
              HelperReplyEnvelope::withError("E."));

    EXPECT_EQ(HelperReplyEnvelope{}.encodeJSON().error().code, ErrorCode::invalidArgument);
    EXPECT_FALSE((HelperReplyEnvelope{std::string("{}"), std::string("E.")}.encodeJSON()));

    const char* refused[] = {
        "{}",
        R"({"data":null,"error":null})",
        R"({"data":"{}","error":"E."})",
        R"({"data":{"results":[]}})",
        R"({"error":false})",
        R"(["data"])",
    };
    for (const char* text : refused) {
        auto decoded = HelperReplyEnvelope::decodeJSON(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error().code, ErrorCode::unreadable) << text;
    }
}

TEST(HelperEnvelope, VersionReply)
{
    HelperVersionReply reply{kHelperProtocolVersion, "1.10.3"};
    auto text = reply.encodeJSON();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({"protocolVersion":3,"build":"1.10.3"})");
    EXPECT_EQ(*HelperVersionReply::decodeJSON(*text), reply);

    auto negative = HelperVersionReply::decodeJSON(R"({"build":"","protocolVersion":-2,"x":1})");
    ASSERT_TRUE(negative);
    EXPECT_EQ(*negative, (HelperVersionReply{-2, ""}));
    auto largest =
        HelperVersionReply::decodeJSON(R"({"protocolVersion":9223372036854775807,"build":"1"})");
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->protocolVersion, INT64_MAX);

    const char* refused[] = {
        R"({"protocolVersion":3})",
        R"({"build":"1"})",
        R"({"protocolVersion":null,"build":"1"})",
        R"({"protocolVersion":3,"build":null})",
        R"({"protocolVersion":"3","build":"1"})",
        R"({"protocolVersion":3.0,"build":"1"})",
        R"({"protocolVersion":9223372036854775808,"build":"1"})",
        R"({"protocolVersion":3,"build":1})",
    };
    for (const char* refusedText : refused)
        EXPECT_FALSE(HelperVersionReply::decodeJSON(refusedText)) << refusedText;
}

TEST(HelperEnvelope, TheLargestBatchTravelsAndOneItemMoreIsRefused)
{
    VeldoHelperMoveRequest move;
    VeldoHelperReply reply;
    for (std::size_t i = 0; i < kMaxHelperBatchItems; ++i) {
        const std::string path = "/Library/Item " + std::to_string(i);
        move.items.push_back({path, "/Users/u/.Trash/Item " + std::to_string(i)});
        reply.results.push_back({path,
                                 VeldoHelperItemResult::Outcome::failed,
                                 path,
                                 501,
                                 20,
                                 "A sentence.",
                                 VeldoHelperItemResult::Reason::unsafePath,
                                 {}});
    }
    const auto moveText = move.encodeJSON();
    const auto replyText = reply.encodeJSON();
    ASSERT_TRUE(moveText && replyText);
    EXPECT_EQ(*VeldoHelperMoveRequest::decodeJSON(*moveText), move);
    EXPECT_EQ(*VeldoHelperReply::decodeJSON(*replyText), reply);

    move.items.push_back({"/Library/One more", "/Users/u/.Trash/One more"});
    EXPECT_EQ(move.encodeJSON().error().code, ErrorCode::invalidArgument);
    VeldoHelperRestoreRequest restore;
    restore.items.resize(kMaxHelperBatchItems + 1, {"/Users/u/.Trash/A", "/Library/A"});
    EXPECT_EQ(restore.encodeJSON().error().code, ErrorCode::invalidArgument);
    std::string text = *moveText;
    text.replace(text.size() - 2, 2, R"(,{"source":"/a","destination":"/b"}]})");
    EXPECT_EQ(VeldoHelperMoveRequest::decodeJSON(text).error().code, ErrorCode::unreadable);
}

TEST(HelperEnvelope, AFrameOfEmptyItemsIsRefusedBeforeItIsParsed)
{
    // The largest frame of "{}," items, as a record and inside an envelope: parsed, it would
    // take some 600 MB.
    std::string empties = "{},";
    while (empties.size() < kMaxHelperFramePayload / 2)
        empties += empties;
    const std::string items = R"({"items":[)" + empties + "{}]}";
    const std::string envelope = R"({"method":"version","x":)" + items + "}";
    const veldo::testsupport::HeapPeak heap;
    EXPECT_EQ(VeldoHelperMoveRequest::decodeJSON(items).error().code, ErrorCode::unreadable);
    EXPECT_EQ(VeldoHelperRestoreRequest::decodeJSON(items).error().code, ErrorCode::unreadable);
    EXPECT_EQ(HelperRequestEnvelope::decodeJSON(envelope).error().code, ErrorCode::unreadable);
    EXPECT_LT(heap.peakAboveStart(), std::size_t{1} << 20);
}
