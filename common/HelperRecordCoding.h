// Property-list coding shared by the move ledger's and the staging journal's records (internal
// to common/): identities, volume stamps, UUIDs, dates and 32-bit ids.
//
// Identities are dictionaries {"device": signed 64-bit, "inode": unsigned 64-bit} followed, when
// the file system reported one, by "birthTime": {"seconds": signed 64-bit, "nanoseconds":
// 0…999,999,999}. Stamps are {"uuid": canonical text, "device": signed 64-bit}. UUIDs are their
// canonical text; dates are property-list dates (microsecond precision). An optional field
// without a value is left out, never written as a placeholder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/HelperFileIdentity.h"
#include "common/HelperVolumeStamp.h"
#include "platform/Clock.h"
#include "platform/PlistValue.h"
#include "platform/UUID.h"

namespace veldo::common::detail {

using RecordDate = platform::Clock::TimePoint;

platform::PlistValue plistOfIdentity(const HelperFileIdentity& identity);
platform::PlistValue plistOfStamp(const HelperVolumeStamp& stamp);
platform::PlistValue plistOfDate(RecordDate date);
platform::PlistValue plistOfUUID(const platform::UUID& id);
platform::PlistValue plistOfId(std::uint32_t id);

// Reads the fields of one record dictionary. Each getter answers the field's value, or a default
// one when the key is missing or its value is not of the field's type or range; `ok()` then says
// whether every required field was present and every present field was well-formed. Keys that
// are not asked for are ignored.
class RecordReader
{
public:
    explicit RecordReader(const platform::PlistValue& value);

    bool ok() const { return m_ok; }

    platform::UUID uuid(std::string_view key);
    std::string string(std::string_view key);
    std::uint32_t id(std::string_view key); // a uid or gid: 0…4,294,967,295
    bool boolean(std::string_view key);
    RecordDate date(std::string_view key);
    HelperFileIdentity identity(std::string_view key);

    // Missing keys give none without failing.
    std::optional<std::uint32_t> optionalId(std::string_view key);
    std::optional<HelperFileIdentity> optionalIdentity(std::string_view key);
    std::optional<HelperVolumeStamp> optionalStamp(std::string_view key);

private:
    const platform::PlistValue* required(std::string_view key);
    template <typename T>
    T fail()
    {
        m_ok = false;
        return T{};
    }

    const platform::PlistValue::Dictionary* m_dictionary;
    bool m_ok;
};

} // namespace veldo::common::detail
