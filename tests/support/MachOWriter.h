// MachOWriter: builds small Mach-O files with an embedded code signature for tests and the fuzz
// corpus, sound or (by patching the reported offsets) deliberately damaged.
//
// A thin file is laid out as: header, load commands (one filler command, then the
// code-signature command when signed), padding, then the signature: a super blob whose index
// names the code directory (slot 0) and the entitlements (slot 5). Load commands follow the
// file's byte order; the signature is big-endian, as on a Mac.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veldo::testsupport {

void putBigEndian32(std::string& bytes, std::size_t offset, std::uint32_t value);
void putLittleEndian32(std::string& bytes, std::size_t offset, std::uint32_t value);

struct MachOSignatureSpec
{
    // Written into a code directory of version 0x20400; without one the directory has team
    // offset 0.
    std::optional<std::string> teamIdentifier;
    // The payload of an entitlements blob; no blob without one.
    std::optional<std::string> entitlements;
    std::uint32_t codeDirectoryVersion = 0x20400;
};

struct MachOThinSpec
{
    bool wide = true;                            // 64-bit header
    bool bigEndian = false;                      // byte order of header and load commands
    std::optional<MachOSignatureSpec> signature; // unsigned without one
};

// A built thin file and where its parts lie (0 for parts it doesn't have).
struct MachOImage
{
    std::string bytes;
    bool bigEndian = false;
    std::size_t commandCountOffset = 0;     // ncmds; sizeofcmds follows
    std::size_t signatureCommandOffset = 0; // the LC_CODE_SIGNATURE command
    std::size_t signatureOffset = 0;        // the super blob
    std::size_t codeDirectoryOffset = 0;
    std::size_t entitlementsOffset = 0; // the entitlements blob

    // Overwrites a 32-bit field of the header or load commands in the file's byte order.
    void putField(std::size_t offset, std::uint32_t value);
};

MachOImage writeThinMachO(const MachOThinSpec& spec);

// A universal file (fat, or fat64 when `wide`) holding `slices` in order.
std::string writeUniversalMachO(const std::vector<std::string>& slices, bool wide = false);

} // namespace veldo::testsupport
