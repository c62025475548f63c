// HelperPathDigest: the SHA-256 of an item's relative path, as four 64-bit words, naming an
// entry of an item inventory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace veldo::common {

struct HelperPathDigest
{
    std::uint64_t w0 = 0; // digest bytes 0-7, little-endian
    std::uint64_t w1 = 0; // bytes 8-15
    std::uint64_t w2 = 0; // bytes 16-23
    std::uint64_t w3 = 0; // bytes 24-31

    // The SHA-256 (OpenSSL) of `bytes` (the empty string for the moved item itself).
    static HelperPathDigest of(std::string_view bytes);
    // The words of a 32-byte digest.
    static HelperPathDigest fromDigest(std::span<const std::uint8_t, 32> digest);

    friend bool operator==(const HelperPathDigest&, const HelperPathDigest&) = default;
};

// Word `index` of `bytes`: bytes 8 index to 8 index + 7, little-endian. Aborts the process when
// fewer than eight bytes remain there (a programming error, never outside data).
std::uint64_t loadWord(std::size_t index, std::span<const std::uint8_t> bytes);

} // namespace veldo::common

template <>
struct std::hash<veldo::common::HelperPathDigest>
{
    std::size_t operator()(const veldo::common::HelperPathDigest& d) const noexcept
    {
        std::size_t h = 0;
        for (const std::uint64_t w : {d.w0, d.w1, d.w2, d.w3})
            h = h * 0x100000001b3ULL ^ std::hash<std::uint64_t>{}(w);
        return h;
    }
};
