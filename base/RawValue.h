// Raw values of String-backed enumerations: one table per enumeration, looked up
// both ways, so construction from a raw value accepts exactly the listed strings.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace veldo::base {

// Each enumeration specialises this with `kCases`: its cases in declaration order paired with
// their raw values.
template <typename E>
struct EnumTraits;

template <typename E>
constexpr auto allCases()
{
    std::array<E, EnumTraits<E>::kCases.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = EnumTraits<E>::kCases[i].first;
    return cases;
}

template <typename E>
constexpr std::string_view rawValue(E value)
{
    for (const auto& [c, raw] : EnumTraits<E>::kCases) {
        if (c == value)
            return raw;
    }
    return {};
}

// The case whose raw value is exactly `raw` (case-sensitive); none for anything else.
template <typename E>
constexpr std::optional<E> fromRawValue(std::string_view raw)
{
    for (const auto& [c, r] : EnumTraits<E>::kCases) {
        if (r == raw)
            return c;
    }
    return std::nullopt;
}

// Enumerations hash by their raw value.
template <typename E>
std::size_t hashByRawValue(E value)
{
    return std::hash<std::string_view>{}(rawValue(value));
}

// Combines a hash into a running seed, in order.
inline void hashCombine(std::size_t& seed, std::size_t h)
{
    seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace veldo::base

namespace veldo {
using base::allCases;
using base::fromRawValue;
using base::hashByRawValue;
using base::hashCombine;
using base::rawValue;
} // namespace veldo
