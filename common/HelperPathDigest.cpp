// SHA-256 path digests (OpenSSL) as four little-endian words.
#include "common/HelperPathDigest.h"

#include <array>
#include <cstdlib>

#include <openssl/evp.h>

namespace veldo::common {

std::uint64_t loadWord(std::size_t index, std::span<const std::uint8_t> bytes)
{
    if (index > (bytes.size() / 8) || bytes.size() - index * 8 < 8)
        std::abort();
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8; ++b)
        word |= static_cast<std::uint64_t>(bytes[index * 8 + b]) << (8 * b);
    return word;
}

HelperPathDigest HelperPathDigest::fromDigest(std::span<const std::uint8_t, 32> digest)
{
    return HelperPathDigest{loadWord(0, digest), loadWord(1, digest), loadWord(2, digest),
                            loadWord(3, digest)};
}

HelperPathDigest HelperPathDigest::of(std::string_view bytes)
{
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    // EVP_Digest with SHA-256 only fails when the library cannot allocate; that is not an
    // outcome a caller could handle, so it ends the process rather than name a wrong entry.
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) !=
            1 ||
        length != digest.size())
        std::abort();
    return fromDigest(digest);
}

} // namespace veldo::common
