// Fuzzes the readers of the JSON the app and the helper send each other: the request and reply
// envelopes and the move, restore, reply and version records. Whatever a reader accepts encodes
// back to text that reads as an equal value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "fuzz/FuzzCheck.h"

using namespace veldo::common;

namespace {

template <typename T>
void checkRoundTrip(std::string_view text)
{
    const auto decoded = T::decodeJSON(text);
    if (!decoded)
        return;
    const auto encoded = decoded->encodeJSON();
    FUZZ_CHECK(encoded.has_value());
    const auto again = T::decodeJSON(*encoded);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *decoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkRoundTrip<HelperRequestEnvelope>(text);
    checkRoundTrip<HelperReplyEnvelope>(text);
    checkRoundTrip<VeldoHelperMoveRequest>(text);
    checkRoundTrip<VeldoHelperRestoreRequest>(text);
    checkRoundTrip<VeldoHelperReply>(text);
    checkRoundTrip<HelperVersionReply>(text);

    // The record inside an envelope is read by the method's own reader.
    if (const auto envelope = HelperRequestEnvelope::decodeJSON(text);
        envelope && envelope->request) {
        if (envelope->method == HelperMethod::moveToTrash)
            checkRoundTrip<VeldoHelperMoveRequest>(*envelope->request);
        else if (envelope->method == HelperMethod::restore)
            checkRoundTrip<VeldoHelperRestoreRequest>(*envelope->request);
    }
    if (const auto envelope = HelperReplyEnvelope::decodeJSON(text); envelope && envelope->data)
        checkRoundTrip<VeldoHelperReply>(*envelope->data);
    return 0;
}
