// Bytes on disk of files and folder trees: hard links once, links as themselves, no folders.
#include "app/core/AllocatedSize.h"

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/RootRacer.h"
#include "tests/support/Unprivileged.h"

using veldo::core::allocatedSize;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;

namespace {

// The allocated bytes of one entry itself, as the host reports them.
std::int64_t blocksOf(const FakeMac& mac, const MacPath& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(mac.host(path).c_str(), &st), 0) << path.path();
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

const std::string kMegabyte(1 << 20, 'x');

} // namespace

TEST(AllocatedSize, HardLinksCountOnceAndFoldersAddNothing)
{
    FakeMac mac;
    const MacPath tree = mac.mkdir("/Users/Shared/Tree");
    const MacPath big = mac.write("/Users/Shared/Tree/big.bin", kMegabyte);
    mac.hardlink(big, "/Users/Shared/Tree/big-again.bin");
    mac.hardlink(big, "/Users/Shared/Tree/sub/deeper/big-third.bin");
    const MacPath small = mac.write("/Users/Shared/Tree/sub/small.txt", "hello");
    // Linked from outside the tree: two links, one of them inside, counted once.
    const MacPath shared = mac.write("/Users/Shared/outside.bin", kMegabyte);
    mac.hardlink(shared, "/Users/Shared/Tree/shared.bin");
    const MacPath hidden = mac.write("/Users/Shared/Tree/.hidden", kMegabyte);

    const std::int64_t expected =
        blocksOf(mac, big) + blocksOf(mac, small) + blocksOf(mac, shared) + blocksOf(mac, hidden);
    ASSERT_GE(blocksOf(mac, big), 1 << 20);
    EXPECT_EQ(allocatedSize(tree), expected);

    // Two hard links to one file and nothing else: one file's size.
    mac.mkdir("/Users/Shared/Pair");
    const MacPath first = mac.write("/Users/Shared/Pair/a", kMegabyte);
    mac.hardlink(first, "/Users/Shared/Pair/b");
    EXPECT_EQ(allocatedSize("/Users/Shared/Pair"), blocksOf(mac, first));

    // A folder with many entries has blocks of its own, yet only files count.
    const MacPath many = mac.mkdir("/Users/Shared/ManyEmpty");
    for (int i = 0; i < 400; ++i)
        mac.write(many.appendingPathComponent("empty-file-with-a-long-name-" + std::to_string(i)),
                  "");
    ASSERT_GT(blocksOf(mac, many), 0);
    EXPECT_EQ(allocatedSize(many), 0);
}

TEST(AllocatedSize, LinksAreMeasuredAsThemselves)
{
    FakeMac mac;
    mac.write("/Users/Shared/Big/payload.bin", kMegabyte);
    const MacPath link = mac.symlink("/Users/Shared/BigLink", "/Users/Shared/Big");
    EXPECT_EQ(allocatedSize(link), blocksOf(mac, link));
    EXPECT_LT(allocatedSize(link), 1 << 20);

    // Inside a tree a link adds nothing, whatever it points at.
    const MacPath holder = mac.mkdir("/Users/Shared/Holder");
    mac.symlink("/Users/Shared/Holder/to-big", "../Big");
    mac.symlink("/Users/Shared/Holder/to-file", "../Big/payload.bin");
    const MacPath note = mac.write("/Users/Shared/Holder/note.txt", "note");
    EXPECT_EQ(allocatedSize(holder), blocksOf(mac, note));

    // Links in the parent folders are followed inside the Mac root.
    mac.symlink("/Users/Shared/Via", "/Users/Shared/Big");
    EXPECT_EQ(allocatedSize("/Users/Shared/Via"), blocksOf(mac, "/Users/Shared/Via"));
    EXPECT_EQ(allocatedSize("/Users/Shared/Via/payload.bin"),
              blocksOf(mac, "/Users/Shared/Big/payload.bin"));
}

TEST(AllocatedSize, FilesPackagesAndMissingPaths)
{
    FakeMac mac;
    EXPECT_EQ(allocatedSize("/Users/Shared/nothing-here"), 0);
    EXPECT_EQ(allocatedSize("/Users/Shared/nothing-here/below"), 0);

    const MacPath file = mac.write("/Users/Shared/file.bin", kMegabyte);
    EXPECT_EQ(allocatedSize(file), blocksOf(mac, file));

    // Bytes on disk, not the length: a sparse file of 64 MB with one byte written.
    const MacPath sparse = mac.write("/Users/Shared/sparse.bin", "");
    ASSERT_EQ(::truncate(mac.host(sparse).c_str(), 64 << 20), 0);
    EXPECT_LT(allocatedSize(sparse), 1 << 20);

    // An app bundle is walked like any folder.
    mac.makeApp("/Applications/Sized.app",
                veldo::platform::PlistValue::Dictionary{{"CFBundleExecutable", "Sized"}});
    const MacPath resource =
        mac.write("/Applications/Sized.app/Contents/Resources/data", kMegabyte);
    EXPECT_EQ(allocatedSize("/Applications/Sized.app"),
              blocksOf(mac, "/Applications/Sized.app/Contents/Info.plist") +
                  blocksOf(mac, "/Applications/Sized.app/Contents/MacOS/Sized") +
                  blocksOf(mac, resource));
}

TEST(AllocatedSize, DeepTreesAreWalkedCompletely)
{
    FakeMac mac;
    // Deeper than the descriptors the walk keeps open, with a file and a side folder per level.
    MacPath level("/Users/Shared/Deep");
    std::int64_t expected = 0;
    for (int depth = 0; depth < 150; ++depth) {
        expected += blocksOf(mac, mac.write(level.appendingPathComponent("f"), "data"));
        expected += blocksOf(mac, mac.write(level.appendingPathComponent("side/g"), "more"));
        level = level.appendingPathComponent("d");
    }
    EXPECT_EQ(allocatedSize("/Users/Shared/Deep"), expected);
}

TEST(AllocatedSize, UnreadableFoldersAreSkipped)
{
    FakeMac mac;
    const MacPath open = mac.write("/Users/Shared/Mixed/open.bin", kMegabyte);
    mac.write("/Users/Shared/Mixed/closed/secret.bin", kMegabyte);
    ::chmod(mac.host("/Users/Shared/Mixed/closed").c_str(), 0700);
    const std::int64_t expected = blocksOf(mac, open);
    const int rc = veldo::testsupport::runUnprivileged(
        [&] { return allocatedSize("/Users/Shared/Mixed") == expected ? 0 : 1; });
    EXPECT_EQ(rc, 0);
}

TEST(AllocatedSize, NeverMeasuresOutsideTheRootWhileAFolderTurnsIntoALink)
{
    FakeMac mac(veldo::testsupport::RootRacer::memoryFolder());
    mac.mkdir("/Users/Shared/d/sub/inner");
    veldo::testsupport::RootRacer racer(mac, "/Users/Shared/d");
    // The canary's folder of the same name holds a file; the Mac's own holds none.
    racer.writeCanary("sub/canary.bin", kMegabyte);

    constexpr int kRounds = 10'000;
    int escapes = 0;
    racer.start();
    for (int round = 0; round < kRounds; ++round) {
        if (allocatedSize("/Users/Shared/d/sub") != 0)
            ++escapes;
    }
    racer.stop();
    EXPECT_GT(racer.swaps(), 0u);
    EXPECT_EQ(escapes, 0) << "measured outside the root in " << kRounds << " calls";
}

TEST(AllocatedSize, RefusesPathsHoldingNul)
{
    using namespace std::string_literals;
    FakeMac mac;
    mac.write("/Users/Shared/big.bin", kMegabyte);
    // Cut at the NUL, "/..\0x" would measure the folder above the root, this Mac included.
    EXPECT_EQ(allocatedSize(MacPath("/..\0x"s)), 0);
    EXPECT_EQ(allocatedSize(MacPath("/Users/Shared/big.bin\0"s)), 0);
    EXPECT_GT(allocatedSize("/Users/Shared/big.bin"), 0);
}
