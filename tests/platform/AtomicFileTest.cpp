// Atomic whole-file writes: replaced whole or left untouched, nothing left behind.
#include "platform/AtomicFile.h"

#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/MacFileSystem.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

TEST(AtomicFile, ReplacesWholeAndLeavesNothingBehind)
{
    FakeMac mac;
    ASSERT_TRUE(writeFileAtomically("/Users/Shared/a.json"_mac, "first", {0600, false}));
    ASSERT_TRUE(writeFileAtomically("/Users/Shared/a.json"_mac, "second"));
    EXPECT_EQ(*readFile("/Users/Shared/a.json"_mac, 100), "second");
    EXPECT_EQ(fileStatus("/Users/Shared/a.json"_mac, FollowLinks::no)->mode & 0777, 0644u);
    EXPECT_EQ(listDirectory("/Users/Shared"_mac)->size(), 1u);

    // A link in the parent resolves inside the root; a link at the target is replaced.
    mac.symlink("/Users/Shared/dir"_mac, "/Users/Shared/real");
    mac.mkdir("/Users/Shared/real"_mac);
    mac.symlink("/Users/Shared/real/target"_mac, "/etc/passwd");
    ASSERT_TRUE(writeFileAtomically("/Users/Shared/dir/target"_mac, "x"));
    EXPECT_FALSE(isSymbolicLink("/Users/Shared/real/target"_mac));
    EXPECT_EQ(*readFile("/Users/Shared/real/target"_mac, 10), "x");
}

TEST(AtomicFile, FailuresLeaveTheOldFile)
{
    FakeMac mac;
    auto missing = writeFileAtomically("/Users/Shared/none/a.json"_mac, "x");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().systemErrno, ENOENT);
    ASSERT_TRUE(writeFileAtomically("/Users/Shared/none/a.json"_mac, "x", {0644, true}));

    mac.mkdir("/Users/Shared/target-is-folder/child"_mac);
    auto overFolder = writeFileAtomically("/Users/Shared/target-is-folder"_mac, "x");
    ASSERT_FALSE(overFolder);
    EXPECT_TRUE(isDirectory("/Users/Shared/target-is-folder/child"_mac));
    EXPECT_EQ(listDirectory("/Users/Shared"_mac)->size(), 2u) << "no temporary file left";
}

TEST(AtomicFile, NamesTheTargetOfATemporaryFile)
{
    const std::pair<const char*, std::optional<std::string_view>> cases[] = {
        {".Moves.plist.tmp-a1B2c3", "Moves.plist"},
        {".0F2C7A4E-1B3D-4C5E-8F60-718293A4B5C6.inventory.tmp-Zz9yY8",
         "0F2C7A4E-1B3D-4C5E-8F60-718293A4B5C6.inventory"},
        {".a.tmp-XXXXXX", "a"},
        {"Moves.plist", std::nullopt},
        {"Moves.plist.tmp-a1B2c3", std::nullopt}, // not hidden
        {".Moves.plist.tmp-a1B2c", std::nullopt}, // five random characters
        {".Moves.plist.old-a1B2c3", std::nullopt},
        {"..tmp-a1B2c3", std::nullopt}, // no name
    };
    for (const auto& [entry, target] : cases)
        EXPECT_EQ(atomicWriteTarget(entry), target) << entry;
}

TEST(AtomicFile, UnflushedWritesReplaceByExchangingNames)
{
    FakeMac mac;
    const auto folder = openInRoot("/Users/Shared"_mac, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
    ASSERT_TRUE(folder);
    const int fd = folder->get();
    for (const char* bytes : {"first", "second, longer than the first"}) {
        ASSERT_TRUE(writeFileAtomicallyAt(fd, "a.plist", bytes, 0600, AtomicDurability::unflushed));
        EXPECT_EQ(*readFile("/Users/Shared/a.plist"_mac, 100), bytes);
        EXPECT_EQ(listDirectory("/Users/Shared"_mac)->size(), 1u) << "the earlier file is gone";
    }
    EXPECT_EQ(fileStatus("/Users/Shared/a.plist"_mac, FollowLinks::no)->mode & 0777, 0600u);

    // A link or a folder at the name is not exchanged: the link is replaced, the folder stays.
    mac.symlink("/Users/Shared/link"_mac, "/etc/passwd");
    ASSERT_TRUE(writeFileAtomicallyAt(fd, "link", "x", 0600, AtomicDurability::unflushed));
    EXPECT_FALSE(isSymbolicLink("/Users/Shared/link"_mac));
    mac.mkdir("/Users/Shared/folder/child"_mac);
    EXPECT_FALSE(writeFileAtomicallyAt(fd, "folder", "x", 0600, AtomicDurability::unflushed));
    EXPECT_TRUE(isDirectory("/Users/Shared/folder/child"_mac));
    EXPECT_EQ(listDirectory("/Users/Shared"_mac)->size(), 3u) << "no temporary file left";
}

TEST(AtomicFile, PiecesAreWrittenOneAfterTheOther)
{
    FakeMac mac;
    const auto folder = openInRoot("/Users/Shared"_mac, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
    ASSERT_TRUE(folder);
    // More pieces than one writev takes, empty ones among them.
    std::vector<std::string> texts;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        texts.push_back(i % 7 == 0 ? std::string() : std::to_string(i) + ",");
        expected += texts.back();
    }
    const std::vector<std::string_view> pieces(texts.begin(), texts.end());
    for (const auto durability : {AtomicDurability::flushed, AtomicDurability::unflushed}) {
        ASSERT_TRUE(writeFileAtomicallyAt(folder->get(), "pieces", pieces, 0600, durability));
        EXPECT_EQ(*readFile("/Users/Shared/pieces"_mac, 1 << 20), expected);
    }
}
