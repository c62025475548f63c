// The Mach-O code-signature reader: headers, load commands, super blob, code directory and
// entitlements, every field checked against the input before use.
#include "platform/MachOSignature.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace veldo::platform {

namespace {

using namespace MachO;

constexpr std::uint32_t kHeaderBytes32 = 28;
constexpr std::uint32_t kHeaderBytes64 = 32;
constexpr std::uint32_t kFatArchBytes32 = 20;
constexpr std::uint32_t kFatArchBytes64 = 32;
constexpr std::uint32_t kBlobHeaderBytes = 8;
constexpr std::uint32_t kSuperBlobHeaderBytes = 12;
constexpr std::uint32_t kIndexEntryBytes = 8;
// The code directory up to and including its team offset.
constexpr std::uint32_t kCodeDirectoryTeamFieldEnd = 52;
constexpr std::uint32_t kCodeDirectoryVersionOffset = 8;
constexpr std::uint32_t kCodeDirectoryTeamOffset = 48;

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint32_t littleEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           std::uint32_t{p[0]};
}

std::uint64_t bigEndian64(const std::uint8_t* p)
{
    return (std::uint64_t{bigEndian32(p)} << 32) | bigEndian32(p + 4);
}

// A range [offset, offset + size) of the source, already known to lie inside it.
struct Extent
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The part [offset, offset + length) of `outer`, when it lies wholly inside it.
std::optional<Extent> inside(const Extent& outer, std::uint64_t offset, std::uint64_t length)
{
    if (offset > outer.size || length > outer.size - offset)
        return std::nullopt;
    return Extent{outer.offset + offset, length};
}

template <std::size_t N>
bool readFixed(const ByteSource& source, const Extent& extent, std::array<std::uint8_t, N>& out)
{
    return extent.size >= N && source.read(extent.offset, out);
}

bool readAll(const ByteSource& source, const Extent& extent, std::vector<std::uint8_t>& out)
{
    out.assign(static_cast<std::size_t>(extent.size), 0);
    return source.read(extent.offset, out);
}

// The code directory's team identifier: a NUL-terminated string inside the directory.
std::optional<std::string> teamIdentifier(const ByteSource& source, const Extent& directory)
{
    std::array<std::uint8_t, kCodeDirectoryTeamFieldEnd> header{};
    if (!readFixed(source,
                   Extent{directory.offset, std::min<std::uint64_t>(directory.size, header.size())},
                   header))
        return std::nullopt; // too short to carry a team offset
    if (bigEndian32(header.data()) != kCodeDirectoryMagic ||
        bigEndian32(header.data() + kCodeDirectoryVersionOffset) < kTeamIdentifierVersion)
        return std::nullopt;
    const std::uint32_t teamOffset = bigEndian32(header.data() + kCodeDirectoryTeamOffset);
    if (teamOffset == 0 || teamOffset >= directory.size)
        return std::nullopt;
    const std::uint64_t available = directory.size - teamOffset;
    auto text = inside(directory, teamOffset,
                       std::min<std::uint64_t>(available, kMaxTeamIdentifierBytes + 1));
    std::vector<std::uint8_t> bytes;
    if (!text || !readAll(source, *text, bytes))
        return std::nullopt;
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (nul == bytes.end() || nul == bytes.begin())
        return std::nullopt;
    return std::string(bytes.begin(), nul);
}

// The payload of the entitlements blob.
std::optional<std::string> entitlements(const ByteSource& source, const Extent& blob)
{
    if (blob.size > kMaxEntitlementsBytes)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    if (!readAll(source, blob, bytes) || bigEndian32(bytes.data()) != kEntitlementsMagic)
        return std::nullopt;
    return std::string(bytes.begin() + kBlobHeaderBytes, bytes.end());
}

// The embedded signature: a super blob (always big-endian) whose index names the blobs by slot.
std::optional<CodeSignatureContents> readSuperBlob(const ByteSource& source,
                                                   const Extent& signature)
{
    std::array<std::uint8_t, kSuperBlobHeaderBytes> header{};
    if (!readFixed(source, signature, header) || bigEndian32(header.data()) != kSuperBlobMagic)
        return std::nullopt;
    const std::uint32_t length = bigEndian32(header.data() + 4);
    const std::uint32_t count = bigEndian32(header.data() + 8);
    if (length < kSuperBlobHeaderBytes || length > signature.size || count > kMaxBlobCount ||
        std::uint64_t{count} * kIndexEntryBytes > length - kSuperBlobHeaderBytes)
        return std::nullopt;
    const Extent superBlob{signature.offset, length};

    std::vector<std::uint8_t> index;
    if (count > 0 && !readAll(source,
                              Extent{superBlob.offset + kSuperBlobHeaderBytes,
                                     std::uint64_t{count} * kIndexEntryBytes},
                              index))
        return std::nullopt;

    // A blob named by the index: its header must lie inside the super blob, and so must the
    // length the header gives.
    auto blobAt = [&](std::uint32_t offset) -> std::optional<Extent> {
        std::array<std::uint8_t, kBlobHeaderBytes> blobHeader{};
        auto head = inside(superBlob, offset, kBlobHeaderBytes);
        if (!head || !readFixed(source, *head, blobHeader))
            return std::nullopt;
        const std::uint32_t blobLength = bigEndian32(blobHeader.data() + 4);
        if (blobLength < kBlobHeaderBytes)
            return std::nullopt;
        return inside(superBlob, offset, blobLength);
    };

    CodeSignatureContents contents;
    bool sawDirectory = false;
    bool sawEntitlements = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t type = bigEndian32(index.data() + std::size_t{i} * kIndexEntryBytes);
        const std::uint32_t offset =
            bigEndian32(index.data() + std::size_t{i} * kIndexEntryBytes + 4);
        if (type == kCodeDirectorySlot && !sawDirectory) {
            sawDirectory = true;
            if (auto directory = blobAt(offset))
                contents.teamIdentifier = teamIdentifier(source, *directory);
        } else if (type == kEntitlementsSlot && !sawEntitlements) {
            sawEntitlements = true;
            if (auto blob = blobAt(offset))
                contents.entitlements = entitlements(source, *blob);
        }
    }
    return contents;
}

// A thin Mach-O file occupying `slice`.
std::optional<CodeSignatureContents> readThin(const ByteSource& source, const Extent& slice)
{
    std::array<std::uint8_t, kHeaderBytes64> header{};
    std::array<std::uint8_t, 4> magicBytes{};
    if (!readFixed(source, slice, magicBytes))
        return std::nullopt;
    const std::uint32_t magic = bigEndian32(magicBytes.data());
    const std::uint32_t swappedMagic = littleEndian32(magicBytes.data());
    bool bigEndianFile = false;
    std::uint32_t headerBytes = 0;
    if (magic == kMagic32 || magic == kMagic64) {
        bigEndianFile = true;
        headerBytes = magic == kMagic64 ? kHeaderBytes64 : kHeaderBytes32;
    } else if (swappedMagic == kMagic32 || swappedMagic == kMagic64) {
        headerBytes = swappedMagic == kMagic64 ? kHeaderBytes64 : kHeaderBytes32;
    } else {
        return std::nullopt;
    }
    if (slice.size < headerBytes ||
        !source.read(slice.offset, std::span(header).first(headerBytes)))
        return std::nullopt;
    auto field = [&](const std::uint8_t* p) {
        return bigEndianFile ? bigEndian32(p) : littleEndian32(p);
    };
    const std::uint32_t commandCount = field(header.data() + 16);
    const std::uint32_t commandBytes = field(header.data() + 20);
    if (commandBytes > kMaxLoadCommandBytes)
        return std::nullopt;
    auto region = inside(slice, headerBytes, commandBytes);
    std::vector<std::uint8_t> commands;
    if (!region || !readAll(source, *region, commands))
        return std::nullopt;

    // The whole table must hold together before any command of it is believed.
    std::optional<std::size_t> signatureCommand;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < commandCount; ++i) {
        if (commands.size() - at < 8)
            return std::nullopt; // the count runs past the commands
        const std::uint32_t command = field(commands.data() + at);
        const std::uint32_t size = field(commands.data() + at + 4);
        if (size < 8 || size > commands.size() - at)
            return std::nullopt;
        if (command == kLoadCodeSignature && !signatureCommand) {
            if (size < 16)
                return std::nullopt;
            signatureCommand = at;
        }
        at += size;
    }
    if (!signatureCommand)
        return std::nullopt; // unsigned
    const std::uint32_t dataOffset = field(commands.data() + *signatureCommand + 8);
    const std::uint32_t dataSize = field(commands.data() + *signatureCommand + 12);
    auto signature = inside(slice, dataOffset, dataSize);
    if (!signature)
        return std::nullopt;
    return readSuperBlob(source, *signature);
}

// A universal file: the first slice whose signature reads.
std::optional<CodeSignatureContents> readFat(const ByteSource& source, bool wide)
{
    const Extent file{0, source.size()};
    std::array<std::uint8_t, 8> header{};
    if (!readFixed(source, file, header))
        return std::nullopt;
    const std::uint32_t sliceCount = bigEndian32(header.data() + 4);
    const std::uint32_t entryBytes = wide ? kFatArchBytes64 : kFatArchBytes32;
    if (sliceCount == 0 || sliceCount > kMaxSlices)
        return std::nullopt;
    auto table = inside(file, header.size(), std::uint64_t{sliceCount} * entryBytes);
    std::vector<std::uint8_t> entries;
    if (!table || !readAll(source, *table, entries))
        return std::nullopt;
    for (std::uint32_t i = 0; i < sliceCount; ++i) {
        const std::uint8_t* entry = entries.data() + std::size_t{i} * entryBytes;
        const std::uint64_t offset = wide ? bigEndian64(entry + 8) : bigEndian32(entry + 8);
        const std::uint64_t size = wide ? bigEndian64(entry + 16) : bigEndian32(entry + 12);
        auto slice = inside(file, offset, size);
        if (!slice)
            continue;
        // readThin refuses a universal header inside a slice, so slices never nest.
        if (auto contents = readThin(source, *slice))
            return contents;
    }
    return std::nullopt;
}

} // namespace

std::optional<CodeSignatureContents> readCodeSignature(const ByteSource& source)
{
    std::array<std::uint8_t, 4> magicBytes{};
    if (!readFixed(source, Extent{0, source.size()}, magicBytes))
        return std::nullopt;
    const std::uint32_t magic = bigEndian32(magicBytes.data());
    if (magic == kFatMagic || magic == kFatMagic64)
        return readFat(source, magic == kFatMagic64);
    return readThin(source, Extent{0, source.size()});
}

} // namespace veldo::platform
