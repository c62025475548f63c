// The item inventory's fixed-width little-endian file format.
#include "common/HelperItemInventory.h"

namespace veldo::common {

namespace {

template <typename T>
void put(std::vector<std::uint8_t>& out, T value)
{
    for (std::size_t b = 0; b < sizeof(T); ++b)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * b)));
}

template <typename T>
T get(const std::uint8_t* at)
{
    std::uint64_t value = 0;
    for (std::size_t b = 0; b < sizeof(T); ++b)
        value |= static_cast<std::uint64_t>(at[b]) << (8 * b);
    return static_cast<T>(value);
}

} // namespace

std::vector<std::uint8_t> HelperItemInventory::encoded() const
{
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + kRecordSize * entries.size());
    out.push_back(kFormat);
    out.push_back(static_cast<std::uint8_t>((isComplete ? 1 : 0) | (foldersGranted ? 2 : 0)));
    for (const auto& [key, entry] : entries) {
        put(out, key);
        put(out, entry.pathHash.w0);
        put(out, entry.pathHash.w1);
        put(out, entry.pathHash.w2);
        put(out, entry.pathHash.w3);
        put(out, entry.uid);
        put(out, entry.gid);
        put(out, entry.mode);
        put(out, entry.flags);
        put(out, entry.aclHash);
        put(out, entry.links);
    }
    return out;
}

std::optional<HelperItemInventory>
HelperItemInventory::fromBytes(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kHeaderSize || bytes[0] != kFormat ||
        bytes.size() % kRecordSize != kHeaderSize)
        return std::nullopt;
    HelperItemInventory inventory;
    inventory.isComplete = (bytes[1] & 1) != 0;
    inventory.foldersGranted = (bytes[1] & 2) != 0;
    const std::size_t count = (bytes.size() - kHeaderSize) / kRecordSize;
    inventory.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* r = bytes.data() + kHeaderSize + i * kRecordSize;
        Entry entry;
        entry.pathHash = HelperPathDigest{get<std::uint64_t>(r + 8), get<std::uint64_t>(r + 16),
                                          get<std::uint64_t>(r + 24), get<std::uint64_t>(r + 32)};
        entry.uid = get<std::uint32_t>(r + 40);
        entry.gid = get<std::uint32_t>(r + 44);
        entry.mode = get<std::uint16_t>(r + 48);
        entry.flags = get<std::uint32_t>(r + 50);
        entry.aclHash = get<std::uint64_t>(r + 54);
        entry.links = get<std::uint16_t>(r + 62);
        inventory.entries.insert_or_assign(get<std::uint64_t>(r), entry);
    }
    return inventory;
}

} // namespace veldo::common
