// Fuzzes the reading of the helper's registration record: a record that reads is written back
// and reads as the same record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/ServiceRegistrationRecord.h"

using veldo::platform::ServiceRegistrationRecord;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto record = ServiceRegistrationRecord::decodePropertyList(bytes);
    if (!record)
        return 0;
    const auto written = record->encodePropertyList();
    FUZZ_CHECK(written.has_value());
    const auto again = ServiceRegistrationRecord::decodePropertyList(*written);
    FUZZ_CHECK(again && *again == *record);
    return 0;
}
