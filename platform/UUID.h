// UUID: a 128-bit universally unique identifier, as Foundation's UUID, with its canonical text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veldo::platform {

struct UUID
{
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random (version 4) UUID from libuuid (the kernel's random source). Kept failable
    // for its callers; libuuid itself always answers.
    static std::optional<UUID> random();

    // The canonical text: 36 characters, upper-case hexadecimal digits with hyphens
    // ("E621E1F8-C36C-495A-93FC-5C247A3E6E5F").
    std::string string() const;

    // Reads the canonical text, in either letter case; none for anything else (no braces, no
    // missing hyphens, no surrounding spaces).
    static std::optional<UUID> parse(std::string_view text);

    friend bool operator==(const UUID&, const UUID&) = default;
    // NOLINTNEXTLINE(modernize-use-nullptr): a false finding in the defaulted comparison
    friend auto operator<=>(const UUID&, const UUID&) = default;
};

} // namespace veldo::platform

template <>
struct std::hash<veldo::platform::UUID>
{
    std::size_t operator()(const veldo::platform::UUID& id) const noexcept
    {
        std::size_t h = 14695981039346656037ULL;
        for (const std::uint8_t byte : id.bytes)
            h = (h ^ byte) * 1099511628211ULL;
        return h;
    }
};
