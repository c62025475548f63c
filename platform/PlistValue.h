// PlistValue: a property-list value tree (dictionary, array, string, integer, real, boolean,
// date, data) as read from or written to a property-list file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veldo::platform {

// An instant, as seconds since 1970-01-01 00:00:00 UTC (property lists count from 2001; the
// reader and writer convert).
struct PlistDate
{
    double secondsSince1970 = 0;
    friend bool operator==(const PlistDate&, const PlistDate&) = default;
};

// A property-list integer. Property lists hold signed 64-bit values and, in binary lists,
// unsigned values up to 2^64 - 1; `isUnsigned` marks a value above INT64_MAX.
struct PlistInteger
{
    std::uint64_t bits = 0;
    bool isUnsigned = false;

    static PlistInteger fromSigned(std::int64_t v)
    {
        return {static_cast<std::uint64_t>(v), false};
    }
    static PlistInteger fromUnsigned(std::uint64_t v)
    {
        return {v, v > static_cast<std::uint64_t>(INT64_MAX)};
    }
    friend bool operator==(const PlistInteger&, const PlistInteger&) = default;
};

class PlistValue
{
public:
    using Dictionary = std::map<std::string, PlistValue, std::less<>>;
    using Array = std::vector<PlistValue>;
    using Data = std::vector<std::uint8_t>;
    enum class Type
    {
        dictionary,
        array,
        string,
        integer,
        real,
        boolean,
        date,
        data
    };

    PlistValue() : m_value(Dictionary{}) {}
    PlistValue(Dictionary d) : m_value(std::move(d)) {}
    PlistValue(Array a) : m_value(std::move(a)) {}
    PlistValue(std::string s) : m_value(std::move(s)) {}
    PlistValue(const char* s) : m_value(std::string(s)) {}
    PlistValue(std::int64_t i) : m_value(PlistInteger::fromSigned(i)) {}
    PlistValue(int i) : m_value(PlistInteger::fromSigned(i)) {}
    PlistValue(PlistInteger i) : m_value(i) {}
    PlistValue(double r) : m_value(r) {}
    PlistValue(bool b) : m_value(b) {}
    PlistValue(PlistDate d) : m_value(d) {}
    PlistValue(Data d) : m_value(std::move(d)) {}

    Type type() const { return static_cast<Type>(m_value.index()); }

    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&m_value); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&m_value); }
    const Array* asArray() const { return std::get_if<Array>(&m_value); }
    Array* asArray() { return std::get_if<Array>(&m_value); }
    const std::string* asString() const { return std::get_if<std::string>(&m_value); }
    const Data* asData() const { return std::get_if<Data>(&m_value); }
    std::optional<PlistInteger> asRawInteger() const
    {
        if (auto* i = std::get_if<PlistInteger>(&m_value))
            return *i;
        return std::nullopt;
    }
    // The integer when it fits a signed 64-bit value; none for other types.
    std::optional<std::int64_t> asInteger() const
    {
        if (auto* i = std::get_if<PlistInteger>(&m_value); i && !i->isUnsigned)
            return static_cast<std::int64_t>(i->bits);
        return std::nullopt;
    }
    std::optional<double> asReal() const
    {
        if (auto* r = std::get_if<double>(&m_value))
            return *r;
        return std::nullopt;
    }
    std::optional<bool> asBoolean() const
    {
        if (auto* b = std::get_if<bool>(&m_value))
            return *b;
        return std::nullopt;
    }
    std::optional<PlistDate> asDate() const
    {
        if (auto* d = std::get_if<PlistDate>(&m_value))
            return *d;
        return std::nullopt;
    }

    // The member `key` of a dictionary; nullptr when this is no dictionary or has no such key.
    const PlistValue* find(std::string_view key) const
    {
        const Dictionary* d = asDictionary();
        if (!d)
            return nullptr;
        auto it = d->find(key);
        return it == d->end() ? nullptr : &it->second;
    }
    // The member `key` when it is a string; none otherwise.
    std::optional<std::string> stringFor(std::string_view key) const
    {
        const PlistValue* v = find(key);
        if (!v || !v->asString())
            return std::nullopt;
        return *v->asString();
    }

    friend bool operator==(const PlistValue&, const PlistValue&) = default;

private:
    std::variant<Dictionary, Array, std::string, PlistInteger, double, bool, PlistDate, Data>
        m_value;
};

} // namespace veldo::platform
