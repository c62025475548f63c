// Reading the "Paths" tree of a bill-of-materials file into installed paths.
#include "app/leftovers/BOMReader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "app/leftovers/BOMCursor.h"
#include "app/leftovers/BOMPathRecord.h"
#include "base/CompilerWarnings.h"

namespace veldo::leftovers::BOMReader {

namespace {

constexpr std::string_view kMagic = "BOMStore";
constexpr std::string_view kTreeMagic = "tree";
constexpr std::string_view kPathsVariable = "Paths";
constexpr std::uint8_t kFolderEntryType = 2;
constexpr std::int64_t kEntryBytes = 8;

struct Block
{
    std::int64_t address = 0;
    std::int64_t length = 0;
};

// A path record with what path building has learnt about it.
struct PathSlot
{
    enum class State
    {
        unresolved,
        inProgress,
        resolved
    };

    BOMPathRecord record;
    State state = State::unresolved;
    bool hasPath = false; // resolved: the chain to the top is whole, short enough and clean
    int depth = 0;        // resolved with a path: records from here to the top
    std::string path;     // resolved with a path: the joined components (may be empty)
};

class FileReader
{
public:
    explicit FileReader(std::string_view data)
        : m_data(data), m_size(static_cast<std::int64_t>(data.size()))
    {
    }

    std::vector<BOMEntry> entries();

private:
    bool readBlockTable(std::uint32_t tableOffset);
    std::optional<std::uint32_t> readPathsVariable(std::uint32_t variablesOffset) const;
    bool isUsable(std::uint32_t index) const;
    BOMCursor blockCursor(std::uint32_t index) const;
    bool isFolderDetail(std::uint32_t detailIndex) const;
    bool spend(std::int64_t bytes);

    enum class NodeOutcome
    {
        read,
        skipped,
        outOfBudget
    };
    void walk(std::uint32_t root);
    NodeOutcome readNode(std::uint32_t index, std::uint32_t& forward,
                         std::vector<std::uint32_t>& children);
    bool readLeafEntry(std::uint32_t value, std::uint32_t key);

    // False once the paths built so far pass their bound.
    bool resolve(std::uint32_t identifier);

    std::string_view m_data;
    std::int64_t m_size = 0;
    std::vector<Block> m_blocks;
    std::int64_t m_byteBudget = 0;
    std::size_t m_pathBytesLeft = 0;
    std::unordered_map<std::uint32_t, PathSlot> m_slots;
};

std::vector<BOMEntry> FileReader::entries()
{
    BOMCursor header(m_data, 0);
    if (!header.expect(kMagic))
        return {};
    header.skip4(); // format version
    header.skip4(); // number of blocks
    const auto tableOffset = header.readUInt32();
    const auto tableLength = header.readUInt32();
    const auto variablesOffset = header.readUInt32();
    const auto variablesLength = header.readUInt32();
    if (!tableOffset || !tableLength || !variablesOffset || !variablesLength)
        return {};
    if (!readBlockTable(*tableOffset))
        return {};

    const auto paths = readPathsVariable(*variablesOffset);
    if (!paths || !isUsable(*paths))
        return {};
    BOMCursor tree = blockCursor(*paths);
    if (!tree.expect(kTreeMagic))
        return {};
    tree.skip4(); // version
    const auto root = tree.readUInt32();
    if (!root)
        return {};

    walk(*root);

    std::vector<std::uint32_t> identifiers;
    identifiers.reserve(m_slots.size());
    for (const auto& [identifier, slot] : m_slots)
        identifiers.push_back(identifier);
    std::sort(identifiers.begin(), identifiers.end());

    m_pathBytesLeft = std::min(kMaxTotalPathBytes, kPathBytesPerFileByte * m_data.size());
    for (const auto identifier : identifiers) {
        if (!resolve(identifier))
            return {};
    }

    std::vector<BOMEntry> result;
    result.reserve(identifiers.size());
    for (const auto identifier : identifiers) {
        auto& slot = m_slots.at(identifier);
        if (slot.hasPath && !slot.path.empty())
            result.push_back(BOMEntry{std::move(slot.path), slot.record.isFile});
    }
    return result;
}

bool FileReader::readBlockTable(std::uint32_t tableOffset)
{
    BOMCursor table(m_data, tableOffset);
    const auto count = table.readUInt32();
    if (!count)
        return false;
    // Division truncating toward zero, as the count check is defined; negative when the table
    // starts past the end.
    const std::int64_t fits = (m_size - static_cast<std::int64_t>(tableOffset) - 4) / 8;
    if (static_cast<std::int64_t>(*count) > fits)
        return false;
    m_blocks.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto address = table.readUInt32();
        const auto length = table.readUInt32();
        if (!address || !length)
            return false;
        m_blocks.push_back(Block{*address, *length});
    }
    return true;
}

std::optional<std::uint32_t> FileReader::readPathsVariable(std::uint32_t variablesOffset) const
{
    BOMCursor variables(m_data, variablesOffset);
    const auto count = variables.readUInt32();
    if (!count || *count < 1 || *count > kMaxVariables)
        return std::nullopt;
    // Only "Paths" is needed; a repeated name replaces the earlier index. The first read that
    // fails ends the table, keeping what was read.
    std::optional<std::uint32_t> paths;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto index = variables.readUInt32();
        if (!index)
            break;
        const auto nameLength = variables.readUInt8();
        if (!nameLength)
            break;
        const auto name = variables.readText(*nameLength);
        if (!name)
            break;
        if (*name == kPathsVariable)
            paths = *index;
    }
    return paths;
}

bool FileReader::isUsable(std::uint32_t index) const
{
    return index != 0 && index < m_blocks.size() && m_blocks[index].length >= 1;
}

BOMCursor FileReader::blockCursor(std::uint32_t index) const
{
    const Block& block = m_blocks[index];
    return BOMCursor(m_data, block.address, std::min(m_size, block.address + block.length));
}

bool FileReader::isFolderDetail(std::uint32_t detailIndex) const
{
    if (!isUsable(detailIndex))
        return false;
    const auto address = m_blocks[detailIndex].address;
    return address < m_size && static_cast<unsigned char>(
                                   m_data[static_cast<std::size_t>(address)]) == kFolderEntryType;
}

// Nodes and names of a file whose blocks don't overlap lie in distinct bytes, so reading them
// all never takes more bytes than the file holds. Overlapping blocks could otherwise make every
// node re-read the same thousands of entries.
bool FileReader::spend(std::int64_t bytes)
{
    if (bytes > m_byteBudget)
        return false;
    m_byteBudget -= bytes;
    return true;
}

void FileReader::walk(std::uint32_t root)
{
    const std::size_t blockCount = m_blocks.size();
    std::vector<bool> visited(blockCount);
    std::unordered_set<std::uint32_t> visitedBeyondTable;
    const auto wasVisited = [&](std::uint32_t index) {
        return index < blockCount ? static_cast<bool>(visited[index])
                                  : visitedBeyondTable.contains(index);
    };

    std::int64_t pushBudget = 4 * static_cast<std::int64_t>(blockCount) + 16;
    m_byteBudget = m_size;
    std::vector<std::uint32_t> stack{root};
    std::vector<std::uint32_t> children;
    const auto push = [&](std::uint32_t index) {
        if (index != 0 && pushBudget >= 1 && !wasVisited(index)) {
            stack.push_back(index);
            --pushBudget;
        }
    };

    while (!stack.empty()) {
        const std::uint32_t index = stack.back();
        stack.pop_back();
        if (wasVisited(index))
            continue;
        if (index < blockCount)
            visited[index] = true;
        else
            visitedBeyondTable.insert(index);
        if (!isUsable(index))
            continue;

        std::uint32_t forward = 0;
        children.clear();
        const NodeOutcome outcome = readNode(index, forward, children);
        if (outcome == NodeOutcome::outOfBudget)
            return;
        if (outcome == NodeOutcome::skipped)
            continue;
        push(forward);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            push(*it);
    }
}

FileReader::NodeOutcome FileReader::readNode(std::uint32_t index, std::uint32_t& forward,
                                             std::vector<std::uint32_t>& children)
{
    BOMCursor node = blockCursor(index);
    const auto leafFlag = node.readUInt16();
    if (!leafFlag)
        return NodeOutcome::skipped;
    const auto count = node.readUInt16();
    if (!count)
        return NodeOutcome::skipped;
    const auto next = node.readUInt32();
    const auto backward = node.readUInt32();
    if (!next || !backward)
        return NodeOutcome::skipped;
    forward = *next;
    const bool isLeaf = *leafFlag != 0;

    for (std::uint32_t j = 0; j < *count && node.remaining() >= kEntryBytes; ++j) {
        if (!spend(kEntryBytes))
            return NodeOutcome::outOfBudget;
        const std::uint32_t value = *node.readUInt32();
        const std::uint32_t key = *node.readUInt32();
        if (!isLeaf)
            children.push_back(value);
        else if (!readLeafEntry(value, key))
            return NodeOutcome::outOfBudget;
    }
    return NodeOutcome::read;
}

// Records one leaf entry when its blocks are sound. False only when the byte budget ran out.
bool FileReader::readLeafEntry(std::uint32_t value, std::uint32_t key)
{
    if (!isUsable(value) || !isUsable(key))
        return true;
    BOMCursor info = blockCursor(value);
    const auto identifier = info.readUInt32();
    const auto detail = info.readUInt32();
    BOMCursor file = blockCursor(key);
    const auto parent = file.readUInt32();
    if (!identifier || !detail || !parent)
        return true;

    // A name longer than kMaxPathBytes can only give a path that is left out anyway; reading
    // one byte more than that keeps it too long (decoding never shortens text) while bounding
    // the work.
    std::string_view name = file.rest().substr(0, kMaxPathBytes + 1);
    if (const auto zero = name.find('\0'); zero != std::string_view::npos)
        name = name.substr(0, zero);
    if (!spend(static_cast<std::int64_t>(name.size())))
        return false;

    PathSlot slot;
    slot.record = BOMPathRecord{*parent, BOMCursor::decodeText(name), !isFolderDetail(*detail)};
    m_slots.insert_or_assign(*identifier, std::move(slot));
    return true;
}

// Builds the path of `identifier` and of every record on its way up that has none yet. Each
// record's result is kept, so a record is looked at once however many paths pass through it; a
// record's depth counts the records from it to the top, which is the number of lookups that
// walking its chain alone would make.
bool FileReader::resolve(std::uint32_t identifier)
{
    if (identifier == 0)
        return true;
    std::vector<PathSlot*> chain;
    const PathSlot* base = nullptr; // the resolved record the chain ends on, if any
    bool broken = false;            // a record is missing or the chain loops
    std::uint32_t current = identifier;
    for (;;) {
        const auto it = m_slots.find(current);
        if (it == m_slots.end()) {
            broken = true;
            break;
        }
        PathSlot& slot = it->second;
        if (slot.state == PathSlot::State::resolved) {
            base = &slot;
            break;
        }
        if (slot.state == PathSlot::State::inProgress) {
            broken = true; // a cycle: every record on it and above it has no path
            break;
        }
        slot.state = PathSlot::State::inProgress;
        chain.push_back(&slot);
        if (slot.record.parent == 0)
            break;
        current = slot.record.parent;
    }

    static const std::string kNoPrefix;
    bool sound = !broken && (base == nullptr || base->hasPath);
    int depth = base != nullptr ? base->depth : 0;
    const std::string* prefix = base != nullptr ? &base->path : &kNoPrefix;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        PathSlot& slot = **it;
        slot.state = PathSlot::State::resolved;
        const std::string& name = slot.record.name;
        ++depth;
        // GCC 12 misreads the bound of its own inlined find() here and warns of a read past it.
        VELDO_GCC12_IGNORE("-Wstringop-overread")
        if (sound &&
            (depth > kMaxPathRecords || name == ".." || name.find('/') != std::string::npos))
            sound = false;
        VELDO_GCC12_IGNORE_END
        if (sound) {
            if (name.empty() || name == ".")
                slot.path = *prefix;
            else if (prefix->empty())
                slot.path = name;
            else
                slot.path.append(*prefix).append("/").append(name);
            if (slot.path.size() > kMaxPathBytes) {
                sound = false;
                slot.path.clear();
            }
            if (slot.path.size() > m_pathBytesLeft)
                return false;
            m_pathBytesLeft -= slot.path.size();
        }
        slot.hasPath = sound;
        slot.depth = depth;
        prefix = &slot.path;
    }
    return true;
}

} // namespace

std::vector<BOMEntry> entries(std::string_view bytes)
{
    return FileReader(bytes).entries();
}

} // namespace veldo::leftovers::BOMReader
