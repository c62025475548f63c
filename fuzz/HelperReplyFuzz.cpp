// Fuzzes the app's reading of the helper's answer to a move or restore: any text gives one of the
// three responses, and it gives results only for a "data" string that reads as a reply record,
// with exactly that record's results.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/removal/PrivilegedHelper.h"
#include "common/JsonDocument.h"
#include "common/VeldoHelperReply.h"
#include "fuzz/FuzzCheck.h"

namespace PrivilegedHelper = veldo::removal::PrivilegedHelper;
using Kind = PrivilegedHelper::BatchResponse::Kind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto response = PrivilegedHelper::decodeReplyEnvelope(text);
    if (response.kind != Kind::results)
        return 0;
    const auto document = veldo::common::json::parseObject(text);
    FUZZ_CHECK(document.has_value());
    const auto* replyText = veldo::common::json::field(*document, "data");
    FUZZ_CHECK(replyText != nullptr && replyText->is_string());
    const auto reply = veldo::common::VeldoHelperReply::decodeJSON(replyText->get<std::string>());
    FUZZ_CHECK(reply.has_value());
    FUZZ_CHECK(reply->results == response.results);
    return 0;
}
