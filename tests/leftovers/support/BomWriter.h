// BomWriter: builds bill-of-materials ("BOMStore") files for tests and benchmarks, sound or
// deliberately damaged.
//
// The file is laid out as header (32 bytes), block data in index order, block table, variables.
// Block 0 is the null block. Every field the reader looks at can be overridden, and the built
// bytes can be patched afterwards with putBE32 at the offsets the writer reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veldo::testsupport {

std::string be16(std::uint16_t value);
std::string be32(std::uint32_t value);
// Overwrites 4 bytes at `offset` with `value`, big-endian.
void putBE32(std::string& bytes, std::size_t offset, std::uint32_t value);

struct BomNodeEntry
{
    std::uint32_t value = 0; // branch: child node; leaf: path-information block
    std::uint32_t key = 0;   // leaf: file block (parent identifier and name)
};

// Block contents of the tree structures.
std::string bomTreeHeader(std::uint32_t rootIndex, std::uint32_t pathCount);
// A node; `countOverride` writes a different entry count than the entries given.
std::string bomTreeNode(bool leaf, std::uint32_t forward, const std::vector<BomNodeEntry>& entries,
                        std::optional<std::uint16_t> countOverride = std::nullopt);
std::string bomPathInfo(std::uint32_t identifier, std::uint32_t detailIndex);
std::string bomFileBlock(std::uint32_t parent, std::string_view name);
// A detail block: type 1 file, 2 folder, 3 link.
std::string bomDetailBlock(std::uint8_t type);

class BomWriter
{
public:
    BomWriter();

    // Appends a block; returns its index.
    std::uint32_t addBlock(std::string bytes);
    // Replaces the bytes of a block added before (to link nodes made in any order).
    void setBlock(std::uint32_t index, std::string bytes);
    // Makes the table give `index` this address and length instead of its own bytes'.
    void overrideExtent(std::uint32_t index, std::uint32_t address, std::uint32_t length);
    void addVariable(std::string name, std::uint32_t blockIndex);

    std::uint32_t blockCount() const { return static_cast<std::uint32_t>(m_blocks.size()); }

    // Damage applied when building (other damage: patch the built bytes).
    std::optional<std::uint32_t> blockCountOverride;
    std::optional<std::uint32_t> variableCountOverride;

    std::string build() const;

    // Offsets in the last built file.
    std::size_t blockTableOffset() const { return m_tableOffset; }
    std::size_t variablesOffset() const { return m_variablesOffset; }
    std::size_t blockAddress(std::uint32_t index) const;

private:
    std::vector<std::string> m_blocks;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> m_extents;
    std::vector<std::pair<std::string, std::uint32_t>> m_variables;
    mutable std::vector<std::size_t> m_addresses;
    mutable std::size_t m_tableOffset = 0;
    mutable std::size_t m_variablesOffset = 0;
};

// One record of the "Paths" tree.
struct BomPath
{
    std::uint32_t identifier = 0;
    std::uint32_t parent = 0;
    std::string name;
    bool isFile = true;
    // A detail block index to use instead of a fresh one (0 writes no detail at all).
    std::optional<std::uint32_t> detailIndex;
};

// Records for slash-separated paths in the way an installer writes them: a top-level "."
// record (identifier 1), then each path's missing folders and the path itself, identifiers
// counting up. A path ending in "/" is a folder.
std::vector<BomPath> bomRecordsFor(const std::vector<std::string>& paths);

// Adds the records' path-information, file and detail blocks, leaves of at most `perLeaf`
// entries chained by forward links (under one branch node when there are several), the tree
// header and, unless told not to, the "Paths" variable. Returns the tree header's block index.
std::uint32_t addBomPathsTree(BomWriter& writer, const std::vector<BomPath>& records,
                              std::size_t perLeaf = 64, bool addPathsVariable = true);

// A complete, sound file holding `paths` (see bomRecordsFor).
std::string bomFileWith(const std::vector<std::string>& paths, std::size_t perLeaf = 64);

} // namespace veldo::testsupport
