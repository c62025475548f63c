// Reading installed paths from bill-of-materials files, sound and damaged.
#include "app/leftovers/BOMReader.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <unordered_map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/leftovers/support/BomWriter.h"
#include "tests/support/HeapPeak.h"

using namespace veldo::testsupport;
using veldo::leftovers::BOMEntry;
namespace BOMReader = veldo::leftovers::BOMReader;

namespace {

const std::vector<std::string> kInstallerPaths = {
    "Applications/",
    "Applications/Tool.app/",
    "Applications/Tool.app/Contents/",
    "Applications/Tool.app/Contents/Info.plist",
    "Library/LaunchDaemons/com.example.tool.plist",
    "Library/Application Support/Tool/\xC3\x9C"
    "ber",
    "usr/local/bin/tool",
};

std::vector<std::string> pathsOf(const std::vector<BOMEntry>& entries)
{
    std::vector<std::string> paths;
    for (const auto& e : entries)
        paths.push_back(e.path);
    return paths;
}

std::set<std::string> pathSetOf(std::string_view bytes)
{
    const auto paths = pathsOf(BOMReader::entries(bytes));
    return {paths.begin(), paths.end()};
}

std::string fileWithRecords(const std::vector<BomPath>& records, std::size_t perLeaf = 64)
{
    BomWriter writer;
    addBomPathsTree(writer, records, perLeaf);
    return writer.build();
}

BomPath record(std::uint32_t identifier, std::uint32_t parent, std::string name, bool isFile = true)
{
    return BomPath{identifier, parent, std::move(name), isFile, std::nullopt};
}

// A chain of `length` records from the top down; the record at depth d (from 1) gets the name
// names(d). Identifiers count up from the top, or down when `deepestFirst`, so that path
// building meets the chain from either end first.
std::string chainFile(int length, bool deepestFirst, const std::function<std::string(int)>& names)
{
    std::vector<BomPath> records;
    const auto idAt = [&](int depth) {
        return static_cast<std::uint32_t>(deepestFirst ? length + 1 - depth : depth);
    };
    for (int depth = 1; depth <= length; ++depth)
        records.push_back(record(idAt(depth), depth == 1 ? 0 : idAt(depth - 1), names(depth)));
    return fileWithRecords(records, 512);
}

// Path building as written: every identifier walks its own chain, at most 4,096 lookups.
std::vector<BOMEntry> walkEachChainAlone(const std::map<std::uint32_t, BomPath>& records)
{
    const std::unordered_map<std::uint32_t, BomPath> byIdentifier(records.begin(), records.end());
    std::vector<BOMEntry> entries;
    for (const auto& [identifier, r] : records) {
        if (identifier == 0)
            continue;
        std::vector<std::string> components;
        std::uint32_t current = identifier;
        bool sound = true;
        for (int lookups = 1;; ++lookups) {
            const auto it = byIdentifier.find(current);
            if (lookups > 4'096 || it == byIdentifier.end()) {
                sound = false;
                break;
            }
            const std::string& name = it->second.name;
            if (name == ".." || name.find('/') != std::string::npos) {
                sound = false;
                break;
            }
            if (!name.empty() && name != ".")
                components.push_back(name);
            if (it->second.parent == 0)
                break;
            current = it->second.parent;
        }
        if (!sound || components.empty())
            continue;
        std::string path;
        for (auto c = components.rbegin(); c != components.rend(); ++c)
            path += (path.empty() ? "" : "/") + *c;
        entries.push_back({path, r.isFile});
    }
    return entries;
}

} // namespace

TEST(BOMReader, ReadsEveryPathOfAnInstallerTree)
{
    const std::vector<BOMEntry> expected = {
        {"Applications", false},
        {"Applications/Tool.app", false},
        {"Applications/Tool.app/Contents", false},
        {"Applications/Tool.app/Contents/Info.plist", true},
        {"Library", false},
        {"Library/LaunchDaemons", false},
        {"Library/LaunchDaemons/com.example.tool.plist", true},
        {"Library/Application Support", false},
        {"Library/Application Support/Tool", false},
        {"Library/Application Support/Tool/\xC3\x9C"
         "ber",
         true},
        {"usr", false},
        {"usr/local", false},
        {"usr/local/bin", false},
        {"usr/local/bin/tool", true},
    };
    // One leaf; several leaves under a branch, chained by forward links; one entry per leaf.
    for (std::size_t perLeaf : {64, 3, 1})
        EXPECT_EQ(BOMReader::entries(bomFileWith(kInstallerPaths, perLeaf)), expected) << perLeaf;
}

TEST(BOMReader, RefusesDamagedHeadersAndBlockTables)
{
    BomWriter writer;
    addBomPathsTree(writer, bomRecordsFor(kInstallerPaths));
    const std::string sound = writer.build();
    const auto expected = BOMReader::entries(sound);
    ASSERT_EQ(expected.size(), 14u);

    for (std::size_t i = 0; i < 8; ++i) {
        std::string bad = sound;
        bad[i] = static_cast<char>(bad[i] ^ 0x20);
        EXPECT_TRUE(BOMReader::entries(bad).empty()) << "magic byte " << i;
    }
    for (std::size_t length = 0; length < 32; ++length)
        EXPECT_TRUE(BOMReader::entries(sound.substr(0, length)).empty()) << "header of " << length;

    const std::size_t table = writer.blockTableOffset();
    const auto fits = static_cast<std::uint32_t>((sound.size() - table - 4) / 8);
    std::string atLimit = sound;
    putBE32(atLimit, table, fits);
    EXPECT_EQ(BOMReader::entries(atLimit), expected);
    std::string pastLimit = sound;
    putBE32(pastLimit, table, fits + 1);
    EXPECT_TRUE(BOMReader::entries(pastLimit).empty());

    std::string tableBeyondEnd = sound;
    putBE32(tableBeyondEnd, 16, static_cast<std::uint32_t>(sound.size() + 100));
    EXPECT_TRUE(BOMReader::entries(tableBeyondEnd).empty());
    std::string truncatedTable = sound.substr(0, table + 4 + 8 * 3);
    EXPECT_TRUE(BOMReader::entries(truncatedTable).empty());
}

TEST(BOMReader, FindsThePathsTreeThroughTheVariables)
{
    const auto records = bomRecordsFor(kInstallerPaths);
    const std::size_t all = records.size() - 1; // every record but the top "."

    struct Case
    {
        const char* name;
        std::function<void(BomWriter&, std::uint32_t tree)> variables;
        std::size_t paths;
    };
    const auto dummies = [](BomWriter& w, int count) {
        for (int i = 0; i < count; ++i)
            w.addVariable("V" + std::to_string(i), 1);
    };
    const Case cases[] = {
        {"only Paths", [](BomWriter& w, auto tree) { w.addVariable("Paths", tree); }, all},
        {"count of 0",
         [](BomWriter& w, auto tree) {
             w.addVariable("Paths", tree);
             w.variableCountOverride = 0;
         },
         0},
        {"99,999 variables",
         [&](BomWriter& w, auto tree) {
             dummies(w, 99'998);
             w.addVariable("Paths", tree);
         },
         all},
        {"100,000 variables",
         [&](BomWriter& w, auto tree) {
             dummies(w, 99'999);
             w.addVariable("Paths", tree);
         },
         0},
        {"later Paths wins",
         [](BomWriter& w, auto tree) {
             w.addVariable("Paths", 1);
             w.addVariable("Paths", tree);
         },
         all},
        {"later Paths wins, even when bad",
         [](BomWriter& w, auto tree) {
             w.addVariable("Paths", tree);
             w.addVariable("Paths", 1);
         },
         0},
        {"table ends early",
         [](BomWriter& w, auto tree) {
             w.addVariable("Paths", tree);
             w.variableCountOverride = 40;
         },
         all},
        {"no Paths", [](BomWriter& w, auto tree) { w.addVariable("paths", tree); }, 0},
        {"Paths names block 0", [](BomWriter& w, auto) { w.addVariable("Paths", 0); }, 0},
        {"Paths beyond the table",
         [](BomWriter& w, auto) { w.addVariable("Paths", w.blockCount()); }, 0},
        {"Paths names an empty block",
         [](BomWriter& w, auto tree) {
             w.addVariable("Paths", tree);
             w.overrideExtent(tree, 40, 0);
         },
         0},
        {"tree header of the wrong kind",
         [](BomWriter& w, auto tree) {
             w.setBlock(tree, "TREE" + be32(1) + be32(tree - 1));
             w.addVariable("Paths", tree);
         },
         0},
        {"tree header without a root",
         [](BomWriter& w, auto tree) {
             w.setBlock(tree, "tree" + be32(1) + std::string(2, '\0'));
             w.addVariable("Paths", tree);
         },
         0},
    };
    for (const auto& c : cases) {
        BomWriter writer;
        const auto tree = addBomPathsTree(writer, records, 64, false);
        c.variables(writer, tree);
        EXPECT_EQ(BOMReader::entries(writer.build()).size(), c.paths) << c.name;
    }
}

TEST(BOMReader, WalksDamagedTreesAndVisitsEachNodeOnce)
{
    // Two leaves of sound records; each case wires the nodes differently. The root is block 1.
    struct Case
    {
        const char* name;
        std::function<void(BomWriter&, std::uint32_t root, std::uint32_t a, std::uint32_t b,
                           const std::vector<BomNodeEntry>&, const std::vector<BomNodeEntry>&)>
            wire;
        std::set<std::string> paths;
    };
    const std::set<std::string> both = {"a1", "a2", "b1"};
    const Case cases[] = {
        {"branch over two leaves",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}, {b, 0}}));
             w.setBlock(a, bomTreeNode(true, 0, ea));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         both},
        {"leaf forwarding to itself",
         [](BomWriter& w, auto root, auto a, auto, auto& ea, auto&) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}}));
             w.setBlock(a, bomTreeNode(true, a, ea));
         },
         {"a1", "a2"}},
        {"branch listing itself",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, root, {{root, 0}, {a, 0}, {root, 0}}));
             w.setBlock(a, bomTreeNode(true, b, ea));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         both},
        {"leaves forwarding to each other",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}, {b, 0}}));
             w.setBlock(a, bomTreeNode(true, b, ea));
             w.setBlock(b, bomTreeNode(true, a, eb));
         },
         both},
        {"empty branch forwarding to the leaves",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, a, {}));
             w.setBlock(a, bomTreeNode(true, b, ea));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         both},
        {"count larger than the node",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}, {b, 0}}, 500));
             w.setBlock(a, bomTreeNode(true, 0, ea, 65'535));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         both},
        {"last entry cut short",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}, {b, 0}}));
             w.setBlock(a, bomTreeNode(true, 0, ea).substr(0, 12 + 8 + 7));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         {"a1", "b1"}},
        {"node without its backward link",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, 0, {{a, 0}, {b, 0}}));
             w.setBlock(a, bomTreeNode(true, b, ea).substr(0, 11));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         {"b1"}},
        {"cut branch pushes nothing",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root, bomTreeNode(false, a, {{a, 0}, {b, 0}}).substr(0, 3));
             w.setBlock(a, bomTreeNode(true, 0, ea));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         {}},
        {"children 0 and beyond the table",
         [](BomWriter& w, auto root, auto a, auto b, auto& ea, auto& eb) {
             w.setBlock(root,
                        bomTreeNode(false, 0, {{0, 0}, {a, 0}, {w.blockCount() + 7, 0}, {b, 0}}));
             w.setBlock(a, bomTreeNode(true, 0, ea));
             w.setBlock(b, bomTreeNode(true, 0, eb));
         },
         both},
        {"leaf as root",
         [](BomWriter& w, auto root, auto, auto b, auto& ea, auto&) {
             w.setBlock(root, bomTreeNode(true, b, ea));
             w.setBlock(b, bomTreeNode(true, 0, {}));
         },
         {"a1", "a2"}},
    };
    for (const auto& c : cases) {
        BomWriter writer;
        const auto root = writer.addBlock({});
        const auto leafEntries = [&](std::vector<BomPath> records) {
            std::vector<BomNodeEntry> entries;
            for (const auto& r : records)
                entries.push_back({writer.addBlock(bomPathInfo(r.identifier, 0)),
                                   writer.addBlock(bomFileBlock(r.parent, r.name))});
            return entries;
        };
        const auto ea = leafEntries({record(1, 0, "a1"), record(2, 0, "a2")});
        const auto eb = leafEntries({record(3, 0, "b1")});
        const auto a = writer.addBlock({});
        const auto b = writer.addBlock({});
        writer.addVariable("Paths", writer.addBlock(bomTreeHeader(root, 3)));
        c.wire(writer, root, a, b, ea, eb);
        EXPECT_EQ(pathSetOf(writer.build()), c.paths) << c.name;
    }
}

TEST(BOMReader, StopsPushingNodesWhenThePushBudgetIsSpent)
{
    // The root lists the one real leaf first, then `junk` distinct indices past the table.
    // Children are pushed last first, so the leaf is pushed after all the junk, and only
    // while the budget of 4 n + 16 pushes lasts.
    const auto fileWithJunk = [](auto junkFor) {
        BomWriter writer;
        const auto root = writer.addBlock({});
        const auto info = writer.addBlock(bomPathInfo(5, 0));
        const auto file = writer.addBlock(bomFileBlock(0, "found"));
        const auto leaf = writer.addBlock(bomTreeNode(true, 0, {{info, file}}));
        writer.addVariable("Paths", writer.addBlock(bomTreeHeader(root, 1)));
        const std::uint32_t n = writer.blockCount();
        std::vector<BomNodeEntry> children{{leaf, 0}};
        for (std::uint32_t i = 0; i < junkFor(n); ++i)
            children.push_back({n + 1 + i, 0});
        writer.setBlock(root, bomTreeNode(false, 0, children));
        return writer.build();
    };
    EXPECT_EQ(pathSetOf(fileWithJunk([](std::uint32_t n) { return 4 * n + 15; })),
              std::set<std::string>{"found"});
    EXPECT_TRUE(pathSetOf(fileWithJunk([](std::uint32_t n) { return 4 * n + 16; })).empty());
}

TEST(BOMReader, OverlappingNodesReadNoMoreBytesThanTheFileHolds)
{
    // The root lists 100 nodes whose blocks all cover the root's own bytes, then a real leaf.
    // Re-reading the same 101 entries for every one of them would read 80 KB from a file of
    // under 3 KB; the walk stops first and never reaches the leaf.
    const auto build = [](bool overlap) {
        BomWriter writer;
        const auto root = writer.addBlock({});
        std::vector<BomNodeEntry> children;
        for (int i = 0; i < 100; ++i)
            children.push_back({writer.addBlock(bomTreeNode(false, 0, {})), 0});
        const auto info = writer.addBlock(bomPathInfo(5, 0));
        const auto file = writer.addBlock(bomFileBlock(0, "leaf"));
        children.push_back({writer.addBlock(bomTreeNode(true, 0, {{info, file}})), 0});
        writer.setBlock(root, bomTreeNode(false, 0, children));
        writer.addVariable("Paths", writer.addBlock(bomTreeHeader(root, 1)));
        writer.build(); // lays the blocks out so that the root's address is known
        if (overlap) {
            const auto rootAddress = static_cast<std::uint32_t>(writer.blockAddress(root));
            for (int i = 0; i < 100; ++i)
                writer.overrideExtent(children[static_cast<std::size_t>(i)].value, rootAddress,
                                      12 + 8 * 101);
        }
        return writer.build();
    };
    EXPECT_EQ(pathSetOf(build(false)), std::set<std::string>{"leaf"});
    const std::string overlapping = build(true);
    ASSERT_LT(overlapping.size(), 3u * 1024u);
    EXPECT_TRUE(pathSetOf(overlapping).empty());
}

TEST(BOMReader, KeepsOnlyLeafEntriesWithSoundBlocks)
{
    // Each case adds one entry for identifier 9, "probe"; "kept" (identifier 2) is always sound.
    struct Case
    {
        const char* name;
        std::function<BomNodeEntry(BomWriter&)> entry;
        std::optional<bool> probe; // none: no "probe" path; else its isFile
    };
    const auto info = [](BomWriter& w, std::uint32_t detail) {
        return w.addBlock(bomPathInfo(9, detail));
    };
    const auto name = [](BomWriter& w) { return w.addBlock(bomFileBlock(0, "probe")); };
    const Case cases[] = {
        {"sound file",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, w.addBlock(bomDetailBlock(1))), name(w)};
         },
         true},
        {"folder",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, w.addBlock(bomDetailBlock(2))), name(w)};
         },
         false},
        {"link",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, w.addBlock(bomDetailBlock(3))), name(w)};
         },
         true},
        {"detail index 0",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, 0), name(w)};
         },
         true},
        {"detail beyond the table",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, 100'000), name(w)};
         },
         true},
        {"empty folder detail",
         [&](BomWriter& w) {
             const auto detail = w.addBlock(bomDetailBlock(2));
             w.overrideExtent(detail, 32, 0);
             return BomNodeEntry{info(w, detail), name(w)};
         },
         true},
        {"folder detail past the end",
         [&](BomWriter& w) {
             const auto detail = w.addBlock(bomDetailBlock(2));
             w.overrideExtent(detail, 0x7fff'0000, 4);
             return BomNodeEntry{info(w, detail), name(w)};
         },
         true},
        {"value 0",
         [&](BomWriter& w) {
             return BomNodeEntry{0, name(w)};
         },
         std::nullopt},
        {"key 0",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, 0), 0};
         },
         std::nullopt},
        {"value beyond the table",
         [&](BomWriter& w) {
             return BomNodeEntry{100'000, name(w)};
         },
         std::nullopt},
        {"key beyond the table",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, 0), 100'000};
         },
         std::nullopt},
        {"empty value block",
         [&](BomWriter& w) {
             const auto value = info(w, 0);
             w.overrideExtent(value, 32, 0);
             return BomNodeEntry{value, name(w)};
         },
         std::nullopt},
        {"path information without detail",
         [&](BomWriter& w) {
             return BomNodeEntry{w.addBlock(be32(9) + std::string(3, '\0')), name(w)};
         },
         std::nullopt},
        {"file block without parent",
         [&](BomWriter& w) {
             return BomNodeEntry{info(w, 0), w.addBlock(std::string(3, '\0'))};
         },
         std::nullopt},
        {"value block past the end",
         [&](BomWriter& w) {
             const auto value = info(w, 0);
             w.overrideExtent(value, 0x7fff'0000, 8);
             return BomNodeEntry{value, name(w)};
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        BomWriter writer;
        std::vector<BomNodeEntry> entries{
            {writer.addBlock(bomPathInfo(2, 0)), writer.addBlock(bomFileBlock(0, "kept"))}};
        entries.push_back(c.entry(writer));
        writer.addVariable("Paths", writer.addBlock(bomTreeHeader(
                                        writer.addBlock(bomTreeNode(true, 0, entries)), 2)));
        std::vector<BOMEntry> expected{{"kept", true}};
        if (c.probe)
            expected.push_back({"probe", *c.probe});
        EXPECT_EQ(BOMReader::entries(writer.build()), expected) << c.name;
    }
}

TEST(BOMReader, TakesNamesUpToTheFirstZeroOrTheBlockEnd)
{
    BomWriter writer;
    const auto unterminated = writer.addBlock(be32(0) + "whole");
    const auto clipped = writer.addBlock(be32(0) + "clipped-here");
    const auto later = writer.addBlock(be32(0) + "later");
    std::vector<BomNodeEntry> entries = {
        {writer.addBlock(bomPathInfo(1, 0)), writer.addBlock(be32(0) + std::string("abc\0def", 7))},
        {writer.addBlock(bomPathInfo(2, 0)), unterminated},
        {writer.addBlock(bomPathInfo(3, 0)), clipped},
        {writer.addBlock(bomPathInfo(4, 0)), writer.addBlock(bomFileBlock(0, "bad\xFF"))},
        {writer.addBlock(bomPathInfo(4, 0)), later}, // the same identifier again: replaces
    };
    writer.addVariable(
        "Paths", writer.addBlock(bomTreeHeader(writer.addBlock(bomTreeNode(true, 0, entries)), 5)));
    writer.build();
    writer.overrideExtent(clipped, static_cast<std::uint32_t>(writer.blockAddress(clipped)), 4 + 7);
    EXPECT_THAT(pathsOf(BOMReader::entries(writer.build())),
                testing::ElementsAre("abc", "whole", "clipped", "later"));

    BomWriter invalid;
    addBomPathsTree(invalid, {record(1, 0,
                                     "bad\xFF"
                                     "name")});
    EXPECT_THAT(pathsOf(BOMReader::entries(invalid.build())), testing::ElementsAre("bad\xEF\xBF\xBD"
                                                                                   "name"));
}

TEST(BOMReader, BuildsPathsOnlyFromWholeCleanParentChains)
{
    const std::vector<BomPath> records = {
        record(1, 0, ".", false),
        record(2, 1, "Library", false),
        record(3, 2, "..", false), // steps out: no path for it or below it
        record(4, 3, "escaped"),
        record(5, 2, "a/b", false), // holds "/": likewise
        record(6, 5, "below"),
        record(7, 2, "", false), // adds nothing
        record(8, 7, "Fonts", false),
        record(9, 99, "orphan", false), // parent missing
        record(10, 9, "orphan child"),
        record(11, 12, "loop a", false), // 11 and 12 form a cycle
        record(12, 11, "loop b", false),
        record(13, 12, "above loop"),
        record(14, 14, "self parent"),
        record(15, 8, "Tool.ttf"),
        record(0, 2, "zero"), // identifier 0 never has a path
        record(16, 0, "top"),
    };
    EXPECT_THAT(BOMReader::entries(fileWithRecords(records, 4)),
                testing::ElementsAre(BOMEntry{"Library", false}, BOMEntry{"Library", false},
                                     BOMEntry{"Library/Fonts", false},
                                     BOMEntry{"Library/Fonts/Tool.ttf", true},
                                     BOMEntry{"top", true}));
}

TEST(BOMReader, ParentChainsHoldAtMost4096Records)
{
    // "." records add no component, so only the deepest record of the chain has a path.
    const auto deepOnly = [](int length) {
        return [length](int depth) { return depth == length ? std::string("deep") : "."; };
    };
    for (bool deepestFirst : {false, true}) {
        EXPECT_EQ(pathSetOf(chainFile(4'096, deepestFirst, deepOnly(4'096))),
                  std::set<std::string>{"deep"})
            << deepestFirst;
        EXPECT_TRUE(pathSetOf(chainFile(4'097, deepestFirst, deepOnly(4'097))).empty())
            << deepestFirst;
    }

    // Within one long chain each record keeps its own count: depths 4,095 and 4,096 have
    // paths, 4,097 and everything below it have none.
    const auto named = [](int depth) {
        switch (depth) {
        case 4'095:
            return std::string("a");
        case 4'096:
            return std::string("b");
        case 4'097:
            return std::string("c");
        default:
            return std::string(depth > 4'097 ? "d" : ".");
        }
    };
    for (bool deepestFirst : {false, true})
        EXPECT_EQ(pathSetOf(chainFile(6'000, deepestFirst, named)),
                  (std::set<std::string>{"a", "a/b"}))
            << deepestFirst;
}

TEST(BOMReader, LeavesOutPathsLongerThanAMacCanName)
{
    const std::string name1000(1000, 'n');
    const std::vector<BomPath> records = {
        record(1, 0, std::string(1024, 'x')),   record(2, 0, std::string(1025, 'y')),
        record(3, 0, std::string(50'000, 'z')), record(4, 0, name1000, false),
        record(5, 4, std::string(23, 'k')), // 1000 + "/" + 23 = 1024 bytes
        record(6, 4, std::string(24, 'l')),     record(7, 6, "below"),
    };
    EXPECT_EQ(pathSetOf(fileWithRecords(records)),
              (std::set<std::string>{std::string(1024, 'x'), name1000,
                                     name1000 + "/" + std::string(23, 'k')}));
}

TEST(BOMReader, LongNamedChainsKeepThePathsThatFit)
{
    // 60,000 records in one chain, each named "x": a path per record down to depth 512, where
    // "x/x/…" reaches 1,023 bytes; the one below would be 1,025.
    const auto file = chainFile(60'000, true, [](int) { return std::string("x"); });
    const auto paths = pathSetOf(file);
    EXPECT_EQ(paths.size(), 512u);
    EXPECT_TRUE(paths.contains("x"));
    EXPECT_FALSE(paths.contains(std::string(1025, 'x')));
}

// A file whose records all share one file block (parent: a record with a 1,000-byte name) and
// whose path-information blocks overlap by half: each record costs 20 file bytes and would
// yield a 1,000-byte path.
std::string sharedParentFile(std::uint32_t records)
{
    BomWriter writer;
    const auto detail = writer.addBlock(bomDetailBlock(1));
    const auto parentInfo = writer.addBlock(bomPathInfo(1, detail));
    const auto parentFile = writer.addBlock(bomFileBlock(0, std::string(1000, 'p')));
    const auto shared = writer.addBlock(bomFileBlock(1, ""));
    std::vector<std::uint32_t> infos;
    for (std::uint32_t i = 0; i < records; ++i)
        infos.push_back(writer.addBlock({}));
    // Words i + 2, i + 3, …: the info block at word i reads identifier i + 2 and detail i + 3,
    // a block index that is in the table.
    std::string words;
    for (std::uint32_t i = 0; i <= records; ++i)
        words += be32(i + 2);
    const auto wordsBlock = writer.addBlock(words);

    std::vector<BomNodeEntry> children;
    std::vector<BomNodeEntry> leaf{{parentInfo, parentFile}};
    for (const auto info : infos) {
        leaf.push_back({info, shared});
        if (leaf.size() == 4'096) {
            children.push_back({writer.addBlock(bomTreeNode(true, 0, leaf)), 0});
            leaf.clear();
        }
    }
    if (!leaf.empty())
        children.push_back({writer.addBlock(bomTreeNode(true, 0, leaf)), 0});
    const auto root = writer.addBlock(bomTreeNode(false, 0, children));
    writer.addVariable("Paths", writer.addBlock(bomTreeHeader(root, records + 1)));
    writer.build(); // lays the blocks out so that the words' address is known
    const auto wordsAddress = static_cast<std::uint32_t>(writer.blockAddress(wordsBlock));
    for (std::uint32_t i = 0; i < records; ++i)
        writer.overrideExtent(infos[i], wordsAddress + 4 * i, 8);
    return writer.build();
}

TEST(BOMReader, RefusesFilesWhosePathsWouldOutgrowTheirBound)
{
    // 5 records give 6 KB of paths from a 1.2 KB file: still read, every record's path whole.
    const auto small = BOMReader::entries(sharedParentFile(5));
    ASSERT_EQ(small.size(), 6u);
    EXPECT_EQ(small.back().path, std::string(1000, 'p'));

    // 60,000 records would give 60 MB of paths from a file of about 1.2 MB.
    const std::string file = sharedParentFile(60'000);
    ASSERT_LT(file.size(), std::size_t{2} << 20);
    const HeapPeak heap;
    EXPECT_TRUE(BOMReader::entries(file).empty());
    // The paths stay within 8 times the file's size; each record's own bookkeeping (its name,
    // parent and slot, some 120 bytes for 20 file bytes) adds at most as much again.
    EXPECT_LT(heap.peakAboveStart(), 16 * file.size());
}

TEST(BOMReader, PathsMatchWalkingEachChainAlone)
{
    // Random record graphs with cycles, missing parents and bad names, then a deep one whose
    // single chain runs past 4,096 records with branches below depth 4,000: remembering each
    // identifier's result must give what walking every chain separately gives.
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        const auto chance = [&](double percent) {
            return std::uniform_real_distribution<double>(0, 100)(random) < percent;
        };
        const bool deep = seed > 2;
        const double breaks = deep ? 0.005 : 3; // bad names only, when deep
        const std::uint32_t count = 6'000;
        std::map<std::uint32_t, BomPath> records;
        for (std::uint32_t identifier = 1; identifier <= count; ++identifier) {
            if (!deep && chance(breaks))
                continue; // a gap: chains through it are broken
            std::uint32_t parent = identifier - 1;
            if (!deep && chance(breaks))
                parent = 0;
            else if (!deep && chance(breaks))
                parent = std::uniform_int_distribution<std::uint32_t>(1, count + 50)(random);
            else if (deep && identifier > 4'000 && chance(0.3))
                parent = std::uniform_int_distribution<std::uint32_t>(1, identifier - 1)(random);
            std::string name = ".";
            if (chance(2))
                name = std::string(1, static_cast<char>('a' + identifier % 26));
            else if (chance(breaks / 3))
                name = chance(50) ? ".." : "a/b";
            else if (chance(2))
                name = "";
            records[identifier] = record(identifier, parent, name, chance(50));
        }
        std::vector<BomPath> list;
        for (const auto& [identifier, r] : records)
            list.push_back(r);
        const auto expected = walkEachChainAlone(records);
        ASSERT_GT(expected.size(), 100u) << seed;
        EXPECT_EQ(BOMReader::entries(fileWithRecords(list, 256)), expected) << seed;
    }
}
