// UUIDs: random generation and the canonical text form, through libuuid.
#include "platform/UUID.h"

#include <algorithm>

#include <uuid/uuid.h>

namespace veldo::platform {

namespace {

constexpr std::size_t kTextLength = 36;

} // namespace

std::optional<UUID> UUID::random()
{
    uuid_t raw;
    ::uuid_generate_random(raw);
    UUID id;
    std::copy(std::begin(raw), std::end(raw), id.bytes.begin());
    return id;
}

std::string UUID::string() const
{
    uuid_t raw;
    std::copy(bytes.begin(), bytes.end(), std::begin(raw));
    char text[kTextLength + 1];
    ::uuid_unparse_upper(raw, text);
    return std::string(text, kTextLength);
}

std::optional<UUID> UUID::parse(std::string_view text)
{
    // libuuid takes exactly 36 characters with hyphens in their places and hexadecimal digits
    // elsewhere, in either letter case.
    uuid_t raw;
    if (::uuid_parse_range(text.data(), text.data() + text.size(), raw) != 0)
        return std::nullopt;
    UUID id;
    std::copy(std::begin(raw), std::end(raw), id.bytes.begin());
    return id;
}

} // namespace veldo::platform
