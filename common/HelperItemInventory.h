// HelperItemInventory: a snapshot of a moved tree's owners, modes, flags, ACL fingerprints and
// link counts, and the compact binary file that holds it beside the move ledger.
//
// File format (all numbers little-endian, packed): byte 0 the format number 4; byte 1 the flags
// (bit 0 isComplete, bit 1 foldersGranted, other bits 0 on writing and ignored on reading);
// then one 64-byte record per entry: key (u64 inode), pathHash w0..w3 (4 × u64), uid (u32),
// gid (u32), mode (u16), flags (u32), aclHash (u64), links (u16). The length is exactly
// 2 + 64 n. Records follow the map's iteration order; readers must not depend on it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "common/HelperPathDigest.h"
#include "common/HelperStat.h"

namespace veldo::common {

struct HelperItemInventory
{
    struct Entry
    {
        HelperPathDigest pathHash; // of the path relative to the moved item
        std::uint32_t uid = 0;
        std::uint32_t gid = 0;
        std::uint16_t mode = 0;    // st_mode, file type bits included
        std::uint32_t flags = 0;   // macOS flags masked with kComparedFlagsMask
        std::uint64_t aclHash = 0; // aclDigest; 0 = no extended ACL entries
        std::uint16_t links = 0;   // st_nlink for a non-directory, 0 for a directory

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    std::unordered_map<std::uint64_t, Entry> entries; // by inode number
    bool isComplete = true;
    bool foldersGranted = false;

    static constexpr std::uint8_t kFormat = 4;
    static constexpr std::size_t kHeaderSize = 2;
    static constexpr std::size_t kRecordSize = 64;

    // The file's bytes (the whole size reserved once).
    std::vector<std::uint8_t> encoded() const;

    // The inventory in `bytes`; none when they are not one (shorter than 2 bytes, format number
    // not 4, or length not 2 + 64 n). A later record with a key already read replaces it.
    static std::optional<HelperItemInventory> fromBytes(std::span<const std::uint8_t> bytes);
};

} // namespace veldo::common
