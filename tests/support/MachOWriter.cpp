// Builds Mach-O test files with embedded code signatures.
#include "tests/support/MachOWriter.h"

namespace veldo::testsupport {

namespace {

constexpr std::uint32_t kFillerCommand = 0x1b; // LC_UUID, 24 bytes
constexpr std::uint32_t kCodeSignatureCommand = 0x1d;
constexpr std::size_t kSliceAlignment = 256;

void appendBigEndian32(std::string& out, std::uint32_t value)
{
    out.resize(out.size() + 4);
    putBigEndian32(out, out.size() - 4, value);
}

void appendBigEndian64(std::string& out, std::uint64_t value)
{
    appendBigEndian32(out, static_cast<std::uint32_t>(value >> 32));
    appendBigEndian32(out, static_cast<std::uint32_t>(value));
}

void padTo(std::string& out, std::size_t alignment)
{
    out.resize((out.size() + alignment - 1) / alignment * alignment, '\0');
}

// A code directory: the header of its version, then the identifier and the team strings.
std::string codeDirectory(const MachOSignatureSpec& spec)
{
    const std::uint32_t version = spec.codeDirectoryVersion;
    const std::uint32_t headerBytes = version >= 0x20400   ? 88
                                      : version >= 0x20300 ? 64
                                      : version >= 0x20200 ? 52
                                      : version >= 0x20100 ? 48
                                                           : 44;
    const std::string identifier = std::string("com.example.signed") + '\0';
    const std::uint32_t identOffset = headerBytes;
    const std::uint32_t teamOffset =
        spec.teamIdentifier ? identOffset + static_cast<std::uint32_t>(identifier.size()) : 0;
    std::string tail = identifier;
    if (spec.teamIdentifier)
        tail += *spec.teamIdentifier + '\0';
    const auto length = static_cast<std::uint32_t>(headerBytes + tail.size());

    std::string cd;
    appendBigEndian32(cd, 0xfade0c02);
    appendBigEndian32(cd, length);
    appendBigEndian32(cd, version);
    appendBigEndian32(cd, 0);      // flags
    appendBigEndian32(cd, length); // hash offset: no hashes follow
    appendBigEndian32(cd, identOffset);
    appendBigEndian32(cd, 0);                          // special slots
    appendBigEndian32(cd, 0);                          // code slots
    appendBigEndian32(cd, 0);                          // code limit
    cd += std::string{'\x20', '\x02', '\x00', '\x0c'}; // SHA-256, 4 KiB pages
    appendBigEndian32(cd, 0);                          // spare
    if (headerBytes >= 48)
        appendBigEndian32(cd, 0); // scatter offset
    if (headerBytes >= 52)
        appendBigEndian32(cd, teamOffset);
    cd.resize(headerBytes, '\0'); // later fields zero
    return cd + tail;
}

} // namespace

void putBigEndian32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
}

void putLittleEndian32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

void MachOImage::putField(std::size_t offset, std::uint32_t value)
{
    if (bigEndian)
        putBigEndian32(bytes, offset, value);
    else
        putLittleEndian32(bytes, offset, value);
}

MachOImage writeThinMachO(const MachOThinSpec& spec)
{
    MachOImage image;
    image.bigEndian = spec.bigEndian;
    const std::size_t headerBytes = spec.wide ? 32 : 28;
    const std::uint32_t commandCount = spec.signature ? 2 : 1;
    const std::uint32_t commandBytes = 24 + (spec.signature ? 16 : 0);
    image.bytes.assign(headerBytes + commandBytes, '\0');
    image.putField(0, spec.wide ? 0xfeedfacf : 0xfeedface);
    image.putField(4, spec.wide ? 0x0100000c : 7); // arm64 or i386
    image.putField(8, 0);
    image.putField(12, 2); // executable
    image.commandCountOffset = 16;
    image.putField(16, commandCount);
    image.putField(20, commandBytes);
    image.putField(headerBytes, kFillerCommand);
    image.putField(headerBytes + 4, 24);
    if (!spec.signature)
        return image;

    image.signatureCommandOffset = headerBytes + 24;
    padTo(image.bytes, 16);
    image.signatureOffset = image.bytes.size();

    const std::string directory = codeDirectory(*spec.signature);
    std::string entitlements;
    if (spec.signature->entitlements) {
        appendBigEndian32(entitlements, 0xfade7171);
        appendBigEndian32(entitlements,
                          static_cast<std::uint32_t>(8 + spec.signature->entitlements->size()));
        entitlements += *spec.signature->entitlements;
    }
    const std::uint32_t count = entitlements.empty() ? 1 : 2;
    const std::uint32_t indexEnd = 12 + 8 * count;
    std::string blob;
    appendBigEndian32(blob, 0xfade0cc0);
    appendBigEndian32(
        blob, static_cast<std::uint32_t>(indexEnd + directory.size() + entitlements.size()));
    appendBigEndian32(blob, count);
    appendBigEndian32(blob, 0); // code directory slot
    appendBigEndian32(blob, indexEnd);
    if (!entitlements.empty()) {
        appendBigEndian32(blob, 5); // entitlements slot
        appendBigEndian32(blob, static_cast<std::uint32_t>(indexEnd + directory.size()));
    }
    image.codeDirectoryOffset = image.signatureOffset + indexEnd;
    if (!entitlements.empty())
        image.entitlementsOffset = image.codeDirectoryOffset + directory.size();
    blob += directory + entitlements;
    image.bytes += blob;
    const auto signatureBytes =
        static_cast<std::uint32_t>(blob.size() + 16); // padded, as codesign does
    image.bytes.resize(image.bytes.size() + 16, '\0');

    image.putField(image.signatureCommandOffset, kCodeSignatureCommand);
    image.putField(image.signatureCommandOffset + 4, 16);
    image.putField(image.signatureCommandOffset + 8,
                   static_cast<std::uint32_t>(image.signatureOffset));
    image.putField(image.signatureCommandOffset + 12, signatureBytes);
    return image;
}

std::string writeUniversalMachO(const std::vector<std::string>& slices, bool wide)
{
    std::string out;
    appendBigEndian32(out, wide ? 0xcafebabf : 0xcafebabe);
    appendBigEndian32(out, static_cast<std::uint32_t>(slices.size()));
    const std::size_t entryBytes = wide ? 32 : 20;
    std::size_t offset = 8 + entryBytes * slices.size();
    offset = (offset + kSliceAlignment - 1) / kSliceAlignment * kSliceAlignment;
    std::vector<std::size_t> offsets;
    for (const std::string& slice : slices) {
        offsets.push_back(offset);
        offset += (slice.size() + kSliceAlignment - 1) / kSliceAlignment * kSliceAlignment;
    }
    for (std::size_t i = 0; i < slices.size(); ++i) {
        appendBigEndian32(out, 0x0100000c);
        appendBigEndian32(out, 0);
        if (wide) {
            appendBigEndian64(out, offsets[i]);
            appendBigEndian64(out, slices[i].size());
            appendBigEndian32(out, 8); // 2^8 alignment
            appendBigEndian32(out, 0);
        } else {
            appendBigEndian32(out, static_cast<std::uint32_t>(offsets[i]));
            appendBigEndian32(out, static_cast<std::uint32_t>(slices[i].size()));
            appendBigEndian32(out, 8);
        }
    }
    for (std::size_t i = 0; i < slices.size(); ++i) {
        out.resize(offsets[i], '\0');
        out += slices[i];
    }
    return out;
}

} // namespace veldo::testsupport
