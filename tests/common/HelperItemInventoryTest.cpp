// The item inventory's binary file, byte for byte, and the path digests that name entries.
#include "common/HelperItemInventory.h"

#include <gtest/gtest.h>

namespace {

using veldo::common::HelperItemInventory;
using veldo::common::HelperPathDigest;
using veldo::common::loadWord;
using Bytes = std::vector<std::uint8_t>;

HelperItemInventory::Entry sampleEntry()
{
    HelperItemInventory::Entry e;
    e.pathHash = {0x1112131415161718ULL, 0x2122232425262728ULL, 0x3132333435363738ULL,
                  0x4142434445464748ULL};
    e.uid = 0x51525354;
    e.gid = 0x61626364;
    e.mode = 0x7172;
    e.flags = 0x81828384;
    e.aclHash = 0x9192939495969798ULL;
    e.links = 0xa1a2;
    return e;
}

TEST(HelperItemInventory, EncodesOneEntryByteForByte)
{
    HelperItemInventory inventory;
    inventory.isComplete = true;
    inventory.foldersGranted = false;
    inventory.entries[0x0102030405060708ULL] = sampleEntry();

    const Bytes expected = {
        0x04, 0x01,                                     // format 4, isComplete
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, // key (inode)
        0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11, // w0
        0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21, // w1
        0x38, 0x37, 0x36, 0x35, 0x34, 0x33, 0x32, 0x31, // w2
        0x48, 0x47, 0x46, 0x45, 0x44, 0x43, 0x42, 0x41, // w3
        0x54, 0x53, 0x52, 0x51,                         // uid
        0x64, 0x63, 0x62, 0x61,                         // gid
        0x72, 0x71,                                     // mode
        0x84, 0x83, 0x82, 0x81,                         // flags
        0x98, 0x97, 0x96, 0x95, 0x94, 0x93, 0x92, 0x91, // aclHash
        0xa2, 0xa1,                                     // links
    };
    ASSERT_EQ(expected.size(), 66u);
    EXPECT_EQ(inventory.encoded(), expected);

    const auto decoded = HelperItemInventory::fromBytes(expected);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isComplete);
    EXPECT_FALSE(decoded->foldersGranted);
    ASSERT_EQ(decoded->entries.size(), 1u);
    EXPECT_EQ(decoded->entries.at(0x0102030405060708ULL), sampleEntry());
}

TEST(HelperItemInventory, EmptyInventoryAndFlags)
{
    struct Case
    {
        bool complete, granted;
        std::uint8_t byte;
    };
    for (const Case c : {Case{true, true, 0x03}, Case{false, true, 0x02}, Case{true, false, 0x01},
                         Case{false, false, 0x00}}) {
        HelperItemInventory inventory;
        inventory.isComplete = c.complete;
        inventory.foldersGranted = c.granted;
        EXPECT_EQ(inventory.encoded(), (Bytes{4, c.byte}));
        const auto back = HelperItemInventory::fromBytes(Bytes{4, c.byte});
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->entries.empty());
        EXPECT_EQ(back->isComplete, c.complete);
        EXPECT_EQ(back->foldersGranted, c.granted);
    }
    // Bits other than the two flags are ignored on reading.
    const auto high = HelperItemInventory::fromBytes(Bytes{4, 0xFC});
    ASSERT_TRUE(high);
    EXPECT_FALSE(high->isComplete);
    EXPECT_FALSE(high->foldersGranted);
    const auto all = HelperItemInventory::fromBytes(Bytes{4, 0xFF});
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->isComplete && all->foldersGranted);
}

TEST(HelperItemInventory, RefusesMalformedFiles)
{
    Bytes good(66, 0);
    good[0] = 4;
    ASSERT_TRUE(HelperItemInventory::fromBytes(good));
    Bytes wrongFormat = good;
    wrongFormat[0] = 3;
    const Bytes cases[] = {
        {},
        {4},
        wrongFormat,
        Bytes(good.begin(), good.end() - 1), // 65 bytes
        [&] {
            Bytes b = good;
            b.push_back(0);
            return b;
        }(), // 67 bytes
        Bytes{5, 0},
        [] {
            Bytes b(130, 0);
            b[0] = 0;
            return b;
        }(),
    };
    for (const Bytes& bytes : cases)
        EXPECT_FALSE(HelperItemInventory::fromBytes(bytes)) << bytes.size() << " bytes";
}

TEST(HelperItemInventory, TheLaterOfTwoRecordsWithOneKeyWins)
{
    HelperItemInventory first;
    first.entries[42] = sampleEntry();
    HelperItemInventory::Entry later = sampleEntry();
    later.uid = 501;
    later.links = 3;
    HelperItemInventory second;
    second.entries[42] = later;

    Bytes bytes = first.encoded();
    const Bytes tail = second.encoded();
    bytes.insert(bytes.end(), tail.begin() + 2, tail.end());
    ASSERT_EQ(bytes.size(), 130u);
    const auto decoded = HelperItemInventory::fromBytes(bytes);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->entries.size(), 1u);
    EXPECT_EQ(decoded->entries.at(42), later);
}

TEST(HelperItemInventory, ManyEntriesRoundTrip)
{
    HelperItemInventory inventory;
    inventory.isComplete = false;
    inventory.foldersGranted = true;
    for (std::uint64_t i = 0; i < 1000; ++i) {
        HelperItemInventory::Entry e;
        e.pathHash = HelperPathDigest::of("folder/" + std::to_string(i));
        e.uid = static_cast<std::uint32_t>(i);
        e.mode = static_cast<std::uint16_t>(0100644 + (i % 3));
        e.aclHash = i * 7919;
        e.links = static_cast<std::uint16_t>(i % 5);
        inventory.entries[i * 13 + 1] = e;
    }
    const Bytes bytes = inventory.encoded();
    EXPECT_EQ(bytes.size(), 2u + 64u * 1000u);
    const auto back = HelperItemInventory::fromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->entries, inventory.entries);
    EXPECT_FALSE(back->isComplete);
    EXPECT_TRUE(back->foldersGranted);
}

TEST(HelperPathDigest, IsTheSHA256ReadAsLittleEndianWords)
{
    // SHA-256 of no bytes: e3b0c442 98fc1c14 9afbf4c8 996fb924 27ae41e4 649b934c a495991b 7852b855
    const HelperPathDigest empty = HelperPathDigest::of("");
    EXPECT_EQ(empty.w0, 0x141cfc9842c4b0e3ULL);
    EXPECT_EQ(empty.w1, 0x24b96f99c8f4fb9aULL);
    EXPECT_EQ(empty.w2, 0x4c939b64e441ae27ULL);
    EXPECT_EQ(empty.w3, 0x55b852781b9995a4ULL);
    // SHA-256 of "abc" begins ba7816bf 8f01cfea.
    EXPECT_EQ(HelperPathDigest::of("abc").w0, 0xeacf018fbf1678baULL);
    EXPECT_NE(HelperPathDigest::of("a/b"), HelperPathDigest::of("a/c"));
    EXPECT_EQ(std::hash<HelperPathDigest>{}(HelperPathDigest::of("x")),
              std::hash<HelperPathDigest>{}(HelperPathDigest::of("x")));
}

TEST(HelperPathDigestDeathTest, LoadWordTrapsPastTheEnd)
{
    const Bytes fifteen(15, 1);
    EXPECT_EQ(loadWord(0, fifteen), 0x0101010101010101ULL);
    EXPECT_DEATH(loadWord(1, fifteen), "");
    EXPECT_DEATH(loadWord(std::size_t(1) << 62, fifteen), "");
}

} // namespace
