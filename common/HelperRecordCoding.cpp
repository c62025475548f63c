// Property-list coding of the fields that ledger and journal records share.
#include "common/HelperRecordCoding.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace veldo::common::detail {

namespace {

using platform::PlistDate;
using platform::PlistInteger;
using platform::PlistValue;

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

// The raw 64 bits of an integer value (the reader hands unsigned values above INT64_MAX over with
// their bits intact).
std::optional<std::uint64_t> bitsOf(const PlistValue& value)
{
    const auto integer = value.asRawInteger();
    if (!integer)
        return std::nullopt;
    return integer->bits;
}

std::optional<std::uint32_t> idOf(const PlistValue& value)
{
    const auto integer = value.asRawInteger();
    if (!integer || integer->isUnsigned)
        return std::nullopt;
    const auto signedValue = static_cast<std::int64_t>(integer->bits);
    if (signedValue < 0 || signedValue > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(signedValue);
}

std::optional<HelperFileIdentity> identityOf(const PlistValue& value)
{
    const PlistValue* device = value.find("device");
    const PlistValue* inode = value.find("inode");
    if (!device || !inode)
        return std::nullopt;
    const auto deviceBits = bitsOf(*device);
    const auto inodeBits = bitsOf(*inode);
    if (!deviceBits || !inodeBits)
        return std::nullopt;
    HelperFileIdentity identity{static_cast<std::int64_t>(*deviceBits), *inodeBits, std::nullopt};
    if (const PlistValue* birth = value.find("birthTime")) {
        const PlistValue* seconds = birth->find("seconds");
        const PlistValue* nanoseconds = birth->find("nanoseconds");
        if (!seconds || !nanoseconds)
            return std::nullopt;
        const auto s = seconds->asInteger();
        const auto ns = nanoseconds->asInteger();
        if (!s || !ns || *ns < 0 || *ns >= kNanosecondsPerSecond)
            return std::nullopt;
        identity.birthTime = platform::FileTime{*s, *ns};
    }
    return identity;
}

std::optional<HelperVolumeStamp> stampOf(const PlistValue& value)
{
    const auto uuidText = value.stringFor("uuid");
    const PlistValue* device = value.find("device");
    if (!uuidText || !device)
        return std::nullopt;
    const auto uuid = HelperVolumeStamp::parseUUID(*uuidText);
    const auto deviceBits = bitsOf(*device);
    if (!uuid || !deviceBits)
        return std::nullopt;
    return HelperVolumeStamp{*uuid, static_cast<std::int64_t>(*deviceBits)};
}

} // namespace

PlistValue plistOfIdentity(const HelperFileIdentity& identity)
{
    PlistValue::Dictionary dictionary;
    dictionary.emplace("device", PlistValue(identity.device));
    dictionary.emplace("inode", PlistValue(PlistInteger::fromUnsigned(identity.inode)));
    if (identity.birthTime) {
        PlistValue::Dictionary birth;
        birth.emplace("seconds", PlistValue(identity.birthTime->seconds));
        birth.emplace("nanoseconds", PlistValue(identity.birthTime->nanoseconds));
        dictionary.emplace("birthTime", PlistValue(std::move(birth)));
    }
    return PlistValue(std::move(dictionary));
}

PlistValue plistOfStamp(const HelperVolumeStamp& stamp)
{
    PlistValue::Dictionary dictionary;
    dictionary.emplace("uuid", PlistValue(stamp.uuidString()));
    dictionary.emplace("device", PlistValue(stamp.device));
    return PlistValue(std::move(dictionary));
}

PlistValue plistOfDate(RecordDate date)
{
    const auto microseconds =
        std::chrono::duration_cast<std::chrono::microseconds>(date.time_since_epoch()).count();
    return PlistValue(PlistDate{static_cast<double>(microseconds) / 1e6});
}

PlistValue plistOfUUID(const platform::UUID& id)
{
    return PlistValue(id.string());
}

PlistValue plistOfId(std::uint32_t id)
{
    return PlistValue(static_cast<std::int64_t>(id));
}

RecordReader::RecordReader(const PlistValue& value)
    : m_dictionary(value.asDictionary()), m_ok(m_dictionary != nullptr)
{
}

const PlistValue* RecordReader::required(std::string_view key)
{
    if (!m_dictionary) {
        m_ok = false;
        return nullptr;
    }
    const auto it = m_dictionary->find(key);
    if (it == m_dictionary->end()) {
        m_ok = false;
        return nullptr;
    }
    return &it->second;
}

platform::UUID RecordReader::uuid(std::string_view key)
{
    const PlistValue* value = required(key);
    if (!value || !value->asString())
        return fail<platform::UUID>();
    const auto id = platform::UUID::parse(*value->asString());
    return id ? *id : fail<platform::UUID>();
}

std::string RecordReader::string(std::string_view key)
{
    const PlistValue* value = required(key);
    if (!value || !value->asString())
        return fail<std::string>();
    return *value->asString();
}

std::uint32_t RecordReader::id(std::string_view key)
{
    const PlistValue* value = required(key);
    const auto id = value ? idOf(*value) : std::nullopt;
    return id ? *id : fail<std::uint32_t>();
}

bool RecordReader::boolean(std::string_view key)
{
    const PlistValue* value = required(key);
    const auto b = value ? value->asBoolean() : std::nullopt;
    return b ? *b : fail<bool>();
}

RecordDate RecordReader::date(std::string_view key)
{
    const PlistValue* value = required(key);
    const auto date = value ? value->asDate() : std::nullopt;
    // Property-list dates hold microseconds; anything beyond ±2^53 of them is no date we wrote.
    if (!date || !std::isfinite(date->secondsSince1970) ||
        std::fabs(date->secondsSince1970) > 9.0e9)
        return fail<RecordDate>();
    const auto microseconds = std::llround(date->secondsSince1970 * 1e6);
    return RecordDate(
        std::chrono::duration_cast<RecordDate::duration>(std::chrono::microseconds(microseconds)));
}

HelperFileIdentity RecordReader::identity(std::string_view key)
{
    const PlistValue* value = required(key);
    const auto identity = value ? identityOf(*value) : std::nullopt;
    return identity ? *identity : fail<HelperFileIdentity>();
}

std::optional<std::uint32_t> RecordReader::optionalId(std::string_view key)
{
    if (!m_dictionary || !m_dictionary->contains(key))
        return std::nullopt;
    return id(key);
}

std::optional<HelperFileIdentity> RecordReader::optionalIdentity(std::string_view key)
{
    if (!m_dictionary || !m_dictionary->contains(key))
        return std::nullopt;
    return identity(key);
}

std::optional<HelperVolumeStamp> RecordReader::optionalStamp(std::string_view key)
{
    if (!m_dictionary || !m_dictionary->contains(key))
        return std::nullopt;
    const auto stamp = stampOf(m_dictionary->find(key)->second);
    if (!stamp)
        m_ok = false;
    return stamp;
}

} // namespace veldo::common::detail
