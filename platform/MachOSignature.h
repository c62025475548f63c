// Reading the code signature embedded in a Mach-O executable: the team identifier of its code
// directory and the text of its entitlements.
//
// Only the file's headers, its load commands and its signature are read. Thin files (32- or
// 64-bit, either byte order) and universal files (fat and fat64) are understood; of a universal
// file the first slice whose signature can be read counts. The input is untrusted: every
// offset, count and length is checked against the input before it is used, each read is
// bounded by the limits below, and nothing outside the input is ever asked for. A damaged or
// hostile file, an unsigned one, or something that is no Mach-O file gives no signature; it
// never crashes or reads at length. Blocks only on the source's reads; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ByteSource.h"

namespace veldo::platform {

struct CodeSignatureContents
{
    // From a code directory of version 0x20200 or later with a team offset; none for an ad hoc
    // or older signature.
    std::optional<std::string> teamIdentifier;
    // The payload of the entitlements blob (an XML property list, unparsed); none without one.
    std::optional<std::string> entitlements;

    friend bool operator==(const CodeSignatureContents&, const CodeSignatureContents&) = default;
};

namespace MachO {

// Limits on what one file may make the reader read or walk.
inline constexpr std::uint32_t kMaxSlices = 64;                  // slices of a universal file
inline constexpr std::uint32_t kMaxLoadCommandBytes = 16u << 20; // sizeofcmds
inline constexpr std::uint32_t kMaxBlobCount = 4096;             // index entries of a super blob
inline constexpr std::uint32_t kMaxEntitlementsBytes = 1u << 20; // entitlements blob
inline constexpr std::uint32_t kMaxTeamIdentifierBytes = 255;    // before its NUL

// The constants of the format that the reader and its tests share.
inline constexpr std::uint32_t kMagic32 = 0xfeedface;
inline constexpr std::uint32_t kMagic64 = 0xfeedfacf;
inline constexpr std::uint32_t kFatMagic = 0xcafebabe;
inline constexpr std::uint32_t kFatMagic64 = 0xcafebabf;
inline constexpr std::uint32_t kLoadCodeSignature = 0x1d;
inline constexpr std::uint32_t kSuperBlobMagic = 0xfade0cc0;
inline constexpr std::uint32_t kCodeDirectoryMagic = 0xfade0c02;
inline constexpr std::uint32_t kEntitlementsMagic = 0xfade7171;
inline constexpr std::uint32_t kCodeDirectorySlot = 0;
inline constexpr std::uint32_t kEntitlementsSlot = 5;
inline constexpr std::uint32_t kTeamIdentifierVersion = 0x20200;

} // namespace MachO

// The signature of the Mach-O file in `source`; none as described above.
std::optional<CodeSignatureContents> readCodeSignature(const ByteSource& source);

} // namespace veldo::platform
