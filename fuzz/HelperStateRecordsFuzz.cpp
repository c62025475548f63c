// Fuzzes the readers of the helper's state files: the move ledger ("Moves.plist", an array of
// move records) and the staging journal (one staging record per file). A record that reads
// is written back to a property list that reads as an equal record, so a ledger or journal
// that loads can always be saved again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/HelperMoveRecord.h"
#include "common/HelperStagingRecord.h"
#include "fuzz/FuzzCheck.h"
#include "platform/PropertyList.h"

using namespace veldo::common;
using veldo::platform::PlistFormat;
using veldo::platform::PlistValue;

namespace {

template <typename Record>
void checkRecord(const PlistValue& value)
{
    const auto record = Record::fromPlist(value);
    if (!record)
        return;
    const PlistValue written = record->toPlist();
    const auto direct = Record::fromPlist(written);
    FUZZ_CHECK(direct && *direct == *record);
    const auto bytes = veldo::platform::serializePropertyList(written, PlistFormat::binary);
    FUZZ_CHECK(bytes.has_value());
    const auto parsed = veldo::platform::parsePropertyList(*bytes);
    FUZZ_CHECK(parsed.has_value());
    const auto reread = Record::fromPlist(*parsed);
    FUZZ_CHECK(reread && *reread == *record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto value = veldo::platform::parsePropertyList(bytes);
    if (!value)
        return 0;
    if (const auto* records = value->asArray()) {
        for (const PlistValue& record : *records)
            checkRecord<HelperMoveRecord>(record);
    }
    checkRecord<HelperStagingRecord>(*value);
    return 0;
}
