// Bounded big-endian reads over bill-of-materials bytes.
#include "app/leftovers/BOMCursor.h"

#include <algorithm>

#include "platform/Unicode.h"

namespace veldo::leftovers {

BOMCursor::BOMCursor(std::string_view data, std::int64_t start, std::optional<std::int64_t> end)
    : m_data(data)
{
    const auto length = static_cast<std::int64_t>(data.size());
    m_offset = std::max<std::int64_t>(start, 0);
    m_end = std::clamp<std::int64_t>(end.value_or(length), 0, length);
}

std::string_view BOMCursor::rest() const
{
    if (remaining() == 0)
        return {};
    return m_data.substr(static_cast<std::size_t>(m_offset), static_cast<std::size_t>(remaining()));
}

bool BOMCursor::expect(std::string_view bytes)
{
    if (remaining() < static_cast<std::int64_t>(bytes.size()))
        return false;
    if (rest().substr(0, bytes.size()) != bytes)
        return false;
    m_offset += static_cast<std::int64_t>(bytes.size());
    return true;
}

std::optional<std::uint64_t> BOMCursor::readBigEndian(int width)
{
    if (remaining() < width)
        return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) |
                static_cast<unsigned char>(m_data[static_cast<std::size_t>(m_offset + i)]);
    m_offset += width;
    return value;
}

std::optional<std::uint8_t> BOMCursor::readUInt8()
{
    if (auto v = readBigEndian(1))
        return static_cast<std::uint8_t>(*v);
    return std::nullopt;
}

std::optional<std::uint16_t> BOMCursor::readUInt16()
{
    if (auto v = readBigEndian(2))
        return static_cast<std::uint16_t>(*v);
    return std::nullopt;
}

std::optional<std::uint32_t> BOMCursor::readUInt32()
{
    if (auto v = readBigEndian(4))
        return static_cast<std::uint32_t>(*v);
    return std::nullopt;
}

std::optional<std::string> BOMCursor::readText(std::int64_t count)
{
    if (count < 0 || remaining() < count)
        return std::nullopt;
    auto text = decodeText(rest().substr(0, static_cast<std::size_t>(count)));
    m_offset += count;
    return text;
}

void BOMCursor::skip4()
{
    m_offset = std::max(m_offset, std::min(m_offset + 4, m_end));
}

std::string BOMCursor::decodeText(std::string_view bytes)
{
    // Names are nearly always ASCII; only other text needs the repairing decoder.
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(bytes) : platform::repairedUtf8(bytes);
}

} // namespace veldo::leftovers
