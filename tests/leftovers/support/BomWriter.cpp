// Bill-of-materials files for tests and benchmarks.
#include "tests/leftovers/support/BomWriter.h"

#include <algorithm>
#include <stdexcept>

namespace veldo::testsupport {

std::string be16(std::uint16_t value)
{
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xff)};
}

std::string be32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xff),
            static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

void putBE32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    bytes.replace(offset, 4, be32(value));
}

std::string bomTreeHeader(std::uint32_t rootIndex, std::uint32_t pathCount)
{
    // "tree", version, root node, block size, path count, one unknown byte.
    return "tree" + be32(1) + be32(rootIndex) + be32(4096) + be32(pathCount) + std::string(1, '\0');
}

std::string bomTreeNode(bool leaf, std::uint32_t forward, const std::vector<BomNodeEntry>& entries,
                        std::optional<std::uint16_t> countOverride)
{
    std::string node = be16(leaf ? 1 : 0) +
                       be16(countOverride.value_or(static_cast<std::uint16_t>(entries.size()))) +
                       be32(forward) + be32(0);
    for (const auto& e : entries)
        node += be32(e.value) + be32(e.key);
    return node;
}

std::string bomPathInfo(std::uint32_t identifier, std::uint32_t detailIndex)
{
    return be32(identifier) + be32(detailIndex);
}

std::string bomFileBlock(std::uint32_t parent, std::string_view name)
{
    return be32(parent) + std::string(name) + std::string(1, '\0');
}

std::string bomDetailBlock(std::uint8_t type)
{
    // Type, a flag byte, architecture, mode, user, group, modification time, size.
    const std::uint16_t mode = type == 2 ? 040755 : 0100644;
    return std::string{static_cast<char>(type), 1} + be16(3) + be16(mode) + be32(0) + be32(80) +
           be32(1'700'000'000) + be32(type == 2 ? 0 : 1234);
}

BomWriter::BomWriter()
{
    m_blocks.emplace_back(); // the null block
}

std::uint32_t BomWriter::addBlock(std::string bytes)
{
    m_blocks.push_back(std::move(bytes));
    return static_cast<std::uint32_t>(m_blocks.size() - 1);
}

void BomWriter::setBlock(std::uint32_t index, std::string bytes)
{
    m_blocks.at(index) = std::move(bytes);
}

void BomWriter::overrideExtent(std::uint32_t index, std::uint32_t address, std::uint32_t length)
{
    m_extents[index] = {address, length};
}

void BomWriter::addVariable(std::string name, std::uint32_t blockIndex)
{
    m_variables.emplace_back(std::move(name), blockIndex);
}

std::size_t BomWriter::blockAddress(std::uint32_t index) const
{
    return m_addresses.at(index);
}

std::string BomWriter::build() const
{
    constexpr std::size_t kHeaderBytes = 32;
    std::string data;
    m_addresses.assign(m_blocks.size(), 0);
    for (std::size_t i = 1; i < m_blocks.size(); ++i) {
        m_addresses[i] = kHeaderBytes + data.size();
        data += m_blocks[i];
    }

    m_tableOffset = kHeaderBytes + data.size();
    std::string table = be32(blockCountOverride.value_or(blockCount()));
    for (std::uint32_t i = 0; i < m_blocks.size(); ++i) {
        auto extent = std::pair{static_cast<std::uint32_t>(m_addresses[i]),
                                static_cast<std::uint32_t>(m_blocks[i].size())};
        if (const auto it = m_extents.find(i); it != m_extents.end())
            extent = it->second;
        table += be32(extent.first) + be32(extent.second);
    }

    m_variablesOffset = m_tableOffset + table.size();
    std::string variables =
        be32(variableCountOverride.value_or(static_cast<std::uint32_t>(m_variables.size())));
    for (const auto& [name, index] : m_variables) {
        if (name.size() > 255)
            throw std::invalid_argument("variable name longer than 255 bytes");
        variables += be32(index) + static_cast<char>(name.size()) + name;
    }

    std::string header = "BOMStore" + be32(1) + be32(blockCount()) +
                         be32(static_cast<std::uint32_t>(m_tableOffset)) +
                         be32(static_cast<std::uint32_t>(table.size())) +
                         be32(static_cast<std::uint32_t>(m_variablesOffset)) +
                         be32(static_cast<std::uint32_t>(variables.size()));
    return header + data + table + variables;
}

std::vector<BomPath> bomRecordsFor(const std::vector<std::string>& paths)
{
    std::vector<BomPath> records{BomPath{1, 0, ".", false, std::nullopt}};
    std::map<std::string, std::uint32_t> known{{"", 1}};
    for (const auto& given : paths) {
        const bool folder = !given.empty() && given.back() == '/';
        const std::string path = folder ? given.substr(0, given.size() - 1) : given;
        std::string prefix;
        std::size_t start = 0;
        while (start <= path.size()) {
            const auto slash = path.find('/', start);
            const auto end = slash == std::string::npos ? path.size() : slash;
            const std::string name = path.substr(start, end - start);
            const std::string here = prefix.empty() ? name : prefix + "/" + name;
            if (!known.contains(here)) {
                const auto identifier = static_cast<std::uint32_t>(records.size() + 1);
                const bool last = end == path.size();
                records.push_back(
                    BomPath{identifier, known.at(prefix), name, last && !folder, std::nullopt});
                known.emplace(here, identifier);
            }
            prefix = here;
            start = end + 1;
        }
    }
    return records;
}

std::uint32_t addBomPathsTree(BomWriter& writer, const std::vector<BomPath>& records,
                              std::size_t perLeaf, bool addPathsVariable)
{
    std::vector<BomNodeEntry> entries;
    entries.reserve(records.size());
    for (const auto& r : records) {
        const std::uint32_t detail =
            r.detailIndex ? *r.detailIndex : writer.addBlock(bomDetailBlock(r.isFile ? 1 : 2));
        const std::uint32_t info = writer.addBlock(bomPathInfo(r.identifier, detail));
        const std::uint32_t file = writer.addBlock(bomFileBlock(r.parent, r.name));
        entries.push_back(BomNodeEntry{info, file});
    }

    const std::size_t leafCount = entries.empty() ? 1 : (entries.size() + perLeaf - 1) / perLeaf;
    std::vector<std::uint32_t> leaves;
    for (std::size_t i = 0; i < leafCount; ++i)
        leaves.push_back(writer.addBlock({}));
    std::vector<BomNodeEntry> branchEntries;
    for (std::size_t i = 0; i < leafCount; ++i) {
        const auto first =
            entries.begin() + static_cast<std::ptrdiff_t>(std::min(entries.size(), i * perLeaf));
        const auto last = entries.begin() +
                          static_cast<std::ptrdiff_t>(std::min(entries.size(), (i + 1) * perLeaf));
        const std::uint32_t forward = i + 1 < leafCount ? leaves[i + 1] : 0;
        writer.setBlock(leaves[i], bomTreeNode(true, forward, {first, last}));
        branchEntries.push_back(BomNodeEntry{leaves[i], first != last ? first->key : 0});
    }
    const std::uint32_t root =
        leafCount == 1 ? leaves.front() : writer.addBlock(bomTreeNode(false, 0, branchEntries));
    const std::uint32_t header =
        writer.addBlock(bomTreeHeader(root, static_cast<std::uint32_t>(records.size())));
    if (addPathsVariable)
        writer.addVariable("Paths", header);
    return header;
}

std::string bomFileWith(const std::vector<std::string>& paths, std::size_t perLeaf)
{
    BomWriter writer;
    writer.addVariable("BomInfo", writer.addBlock(be32(1) + be32(0)));
    addBomPathsTree(writer, bomRecordsFor(paths), perLeaf);
    return writer.build();
}

} // namespace veldo::testsupport
