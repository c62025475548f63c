// BOMCursor: a bounded read position over the bytes of a bill-of-materials file.
//
// Every read checks the bounds first and advances only when it succeeds, so no read ever
// reaches outside [offset, end) or outside the data. Integers are big-endian and unsigned.
// The cursor does not own the bytes: they must outlive it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veldo::leftovers {

class BOMCursor
{
public:
    // A cursor from `start` (clamped to 0 or more) to `end` (clamped to 0 … data length; the
    // data length when none). A start beyond the end is allowed: every read then fails.
    BOMCursor(std::string_view data, std::int64_t start,
              std::optional<std::int64_t> end = std::nullopt);

    std::string_view data() const { return m_data; }
    std::int64_t offset() const { return m_offset; }
    std::int64_t end() const { return m_end; }
    // Bytes left before `end`; 0 when the offset lies at or beyond it.
    std::int64_t remaining() const { return m_offset < m_end ? m_end - m_offset : 0; }
    // The bytes from the offset to `end` (empty when none are left).
    std::string_view rest() const;

    // True, and advances past them, when the next bytes equal `bytes`; false without moving
    // when fewer bytes remain or one differs.
    bool expect(std::string_view bytes);
    std::optional<std::uint8_t> readUInt8();
    std::optional<std::uint16_t> readUInt16();
    std::optional<std::uint32_t> readUInt32();
    // The next `count` bytes decoded as UTF-8 (see decodeText); none when fewer remain.
    std::optional<std::string> readText(std::int64_t count);
    // Moves 4 bytes on, but never beyond `end`.
    void skip4();

    // UTF-8 text of `bytes`, each invalid sequence replaced by U+FFFD.
    static std::string decodeText(std::string_view bytes);

private:
    std::optional<std::uint64_t> readBigEndian(int width);

    std::string_view m_data;
    std::int64_t m_offset = 0;
    std::int64_t m_end = 0;
};

} // namespace veldo::leftovers
