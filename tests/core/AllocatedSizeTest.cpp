// Bytes on disk of files and folder trees: hard links once, links as themselves, no folders.
#include "app/core/AllocatedSize.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/RootRacer.h"
#include "tests/support/StopWhenEntered.h"
#include "tests/support/Unprivileged.h"

using veldo::core::allocatedSize;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StopWhenEntered;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;

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
    const MacPath tree = mac.mkdir("/Users/Shared/Tree"_mac);
    const MacPath big = mac.write("/Users/Shared/Tree/big.bin"_mac, kMegabyte);
    mac.hardlink(big, "/Users/Shared/Tree/big-again.bin"_mac);
    mac.hardlink(big, "/Users/Shared/Tree/sub/deeper/big-third.bin"_mac);
    const MacPath small = mac.write("/Users/Shared/Tree/sub/small.txt"_mac, "hello");
    // Linked from outside the tree: two links, one of them inside, counted once.
    const MacPath shared = mac.write("/Users/Shared/outside.bin"_mac, kMegabyte);
    mac.hardlink(shared, "/Users/Shared/Tree/shared.bin"_mac);
    const MacPath hidden = mac.write("/Users/Shared/Tree/.hidden"_mac, kMegabyte);

    const std::int64_t expected =
        blocksOf(mac, big) + blocksOf(mac, small) + blocksOf(mac, shared) + blocksOf(mac, hidden);
    ASSERT_GE(blocksOf(mac, big), 1 << 20);
    EXPECT_EQ(allocatedSize(tree), expected);

    // Two hard links to one file and nothing else: one file's size.
    mac.mkdir("/Users/Shared/Pair"_mac);
    const MacPath first = mac.write("/Users/Shared/Pair/a"_mac, kMegabyte);
    mac.hardlink(first, "/Users/Shared/Pair/b"_mac);
    EXPECT_EQ(allocatedSize("/Users/Shared/Pair"_mac), blocksOf(mac, first));

    // A folder with many entries has blocks of its own, yet only files count.
    const MacPath many = mac.mkdir("/Users/Shared/ManyEmpty"_mac);
    for (int i = 0; i < 400; ++i)
        mac.write(many.appendingPathComponent("empty-file-with-a-long-name-" + std::to_string(i)),
                  "");
    ASSERT_GT(blocksOf(mac, many), 0);
    EXPECT_EQ(allocatedSize(many), 0);
}

TEST(AllocatedSize, LinksAreMeasuredAsThemselves)
{
    FakeMac mac;
    mac.write("/Users/Shared/Big/payload.bin"_mac, kMegabyte);
    const MacPath link = mac.symlink("/Users/Shared/BigLink"_mac, "/Users/Shared/Big");
    EXPECT_EQ(allocatedSize(link), blocksOf(mac, link));
    EXPECT_LT(allocatedSize(link), 1 << 20);

    // Inside a tree a link adds nothing, whatever it points at.
    const MacPath holder = mac.mkdir("/Users/Shared/Holder"_mac);
    mac.symlink("/Users/Shared/Holder/to-big"_mac, "../Big");
    mac.symlink("/Users/Shared/Holder/to-file"_mac, "../Big/payload.bin");
    const MacPath note = mac.write("/Users/Shared/Holder/note.txt"_mac, "note");
    EXPECT_EQ(allocatedSize(holder), blocksOf(mac, note));

    // Links in the parent folders are followed inside the Mac root.
    mac.symlink("/Users/Shared/Via"_mac, "/Users/Shared/Big");
    EXPECT_EQ(allocatedSize("/Users/Shared/Via"_mac), blocksOf(mac, "/Users/Shared/Via"_mac));
    EXPECT_EQ(allocatedSize("/Users/Shared/Via/payload.bin"_mac),
              blocksOf(mac, "/Users/Shared/Big/payload.bin"_mac));
}

TEST(AllocatedSize, FilesPackagesAndMissingPaths)
{
    FakeMac mac;
    EXPECT_EQ(allocatedSize("/Users/Shared/nothing-here"_mac), 0);
    EXPECT_EQ(allocatedSize("/Users/Shared/nothing-here/below"_mac), 0);

    const MacPath file = mac.write("/Users/Shared/file.bin"_mac, kMegabyte);
    EXPECT_EQ(allocatedSize(file), blocksOf(mac, file));

    // Bytes on disk, not the length: a sparse file of 64 MB with one byte written.
    const MacPath sparse = mac.write("/Users/Shared/sparse.bin"_mac, "");
    ASSERT_EQ(::truncate(mac.host(sparse).c_str(), 64 << 20), 0);
    EXPECT_LT(allocatedSize(sparse), 1 << 20);

    // An app bundle is walked like any folder.
    mac.makeApp("/Applications/Sized.app"_mac,
                veldo::platform::PlistValue::Dictionary{{"CFBundleExecutable", "Sized"}});
    const MacPath resource =
        mac.write("/Applications/Sized.app/Contents/Resources/data"_mac, kMegabyte);
    EXPECT_EQ(allocatedSize("/Applications/Sized.app"_mac),
              blocksOf(mac, "/Applications/Sized.app/Contents/Info.plist"_mac) +
                  blocksOf(mac, "/Applications/Sized.app/Contents/MacOS/Sized"_mac) +
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
    EXPECT_EQ(allocatedSize("/Users/Shared/Deep"_mac), expected);
}

TEST(AllocatedSize, UnreadableFoldersAreSkipped)
{
    FakeMac mac;
    const MacPath open = mac.write("/Users/Shared/Mixed/open.bin"_mac, kMegabyte);
    mac.write("/Users/Shared/Mixed/closed/secret.bin"_mac, kMegabyte);
    ::chmod(mac.host("/Users/Shared/Mixed/closed"_mac).c_str(), 0700);
    const std::int64_t expected = blocksOf(mac, open);
    const int rc = veldo::testsupport::runUnprivileged(
        [&] { return allocatedSize("/Users/Shared/Mixed"_mac) == expected ? 0 : 1; });
    EXPECT_EQ(rc, 0);
}

TEST(AllocatedSize, NeverMeasuresOutsideTheRootWhileAFolderTurnsIntoALink)
{
    FakeMac mac(FakeMac::Storage::memory);
    mac.mkdir("/Users/Shared/d/sub/inner"_mac);
    veldo::testsupport::RootRacer racer(mac, "/Users/Shared/d"_mac);
    // The canary's folder of the same name holds a file; the Mac's own holds none.
    racer.writeCanary("sub/canary.bin", kMegabyte);

    constexpr int kRounds = 10'000;
    int escapes = 0;
    racer.start();
    for (int round = 0; round < kRounds; ++round) {
        if (allocatedSize("/Users/Shared/d/sub"_mac) != 0)
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
    mac.write("/Users/Shared/big.bin"_mac, kMegabyte);
    // Cut at the NUL, "/..\0x" would measure the folder above the root, this Mac included.
    EXPECT_EQ(allocatedSize(MacPath("/..\0x"s)), 0);
    EXPECT_EQ(allocatedSize(MacPath("/Users/Shared/big.bin\0"s)), 0);
    EXPECT_GT(allocatedSize("/Users/Shared/big.bin"_mac), 0);
}

TEST(AllocatedSize, AStopEndsTheWalkBetweenFolders)
{
    FakeMac mac(FakeMac::Storage::memory);
    const MacPath file = mac.write("/Users/Shared/Wide/file.bin"_mac, kMegabyte);
    const MacPath wide = mac.wideTree("/Users/Shared/Wide"_mac, 100, 200);
    const std::int64_t whole = allocatedSize(wide);
    EXPECT_EQ(whole, blocksOf(mac, file));
    std::stop_source never;
    const auto wholeWalkStarted = std::chrono::steady_clock::now();
    EXPECT_EQ(allocatedSize(wide, never.get_token()).value(), whole);
    const auto wholeWalk = std::chrono::steady_clock::now() - wholeWalkStarted;

    // Stopped already: a folder is not walked, a file is still measured.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(allocatedSize(wide, stopped.get_token()).error().code, veldo::ErrorCode::cancelled);
    EXPECT_EQ(allocatedSize(file, stopped.get_token()).value(), blocksOf(mac, file));

    // Stopped once the walk has entered the 20,000 folders (a whole walk takes some 170 ms), it
    // ends long before the rest of the walk would have: a loaded machine slows both alike.
    std::stop_source source;
    StopWhenEntered stopper(source, mac.host(wide));
    const auto size = allocatedSize(wide, source.get_token());
    const auto returnedAt = std::chrono::steady_clock::now();
    const auto requestedAt = stopper.requestedAt();
    ASSERT_TRUE(requestedAt.has_value());
    ASSERT_FALSE(size.has_value());
    EXPECT_EQ(size.error().code, veldo::ErrorCode::cancelled);
    EXPECT_LT(returnedAt - *requestedAt,
              std::max<std::chrono::steady_clock::duration>(100ms, wholeWalk / 2));
}

namespace {

// The answer of a plain serial walk, made independently of the code under test: every regular
// file below `root` (links not followed) once per (device, inode).
std::int64_t serialAnswer(const std::string& root)
{
    std::int64_t total = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> folders{root};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st
            {
            };
            const std::string path = folder + "/" + name;
            if (::lstat(path.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                folders.push_back(path);
            else if (S_ISREG(st.st_mode) &&
                     (st.st_nlink < 2 || seen.insert({st.st_dev, st.st_ino}).second))
                total += static_cast<std::int64_t>(st.st_blocks) * 512;
        }
        ::closedir(dir);
    }
    return total;
}

// A tree large enough to be shared among threads: folders up to 80 deep and 12 wide, files of
// random sizes, hard links across folders (some to a file outside), links to files and folders,
// a few folders that only root can read.
void makeRandomTree(const FakeMac& mac, const MacPath& root, unsigned seed,
                    const MacPath& outside = "/Users/Shared/outside-the-tree"_mac)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<MacPath> folders{mac.mkdir(root)};
    std::vector<MacPath> files{mac.write(outside, std::string(9000, 'o'))};
    MacPath chain = root;
    for (int depth = 0; depth < 80; ++depth) {
        chain = chain.appendingPathComponent("d" + std::to_string(depth));
        folders.push_back(mac.mkdir(chain));
    }
    for (int i = 0; i < 400; ++i)
        folders.push_back(
            mac.mkdir(folders[static_cast<std::size_t>(pick(static_cast<int>(folders.size())))]
                          .appendingPathComponent("f" + std::to_string(i))));
    for (int i = 0; i < 3000; ++i) {
        const MacPath& folder =
            folders[static_cast<std::size_t>(pick(static_cast<int>(folders.size())))];
        const MacPath path = folder.appendingPathComponent("file" + std::to_string(i));
        switch (pick(10)) {
        case 0:
            mac.hardlink(files[static_cast<std::size_t>(pick(static_cast<int>(files.size())))],
                         path);
            break;
        case 1:
            mac.symlink(path, i % 2 ? outside.path() : std::string(".."));
            break;
        default:
            files.push_back(
                mac.write(path, std::string(static_cast<std::size_t>(pick(20000)), 'x')));
        }
    }
    for (int i = 0; i < 5; ++i) {
        const MacPath closed =
            folders[static_cast<std::size_t>(1 + pick(static_cast<int>(folders.size()) - 1))];
        ::chmod(mac.host(closed).c_str(), 0700);
    }
}

} // namespace

TEST(AllocatedSize, LargeTreesGiveTheSerialAnswerHoweverTheWorkIsShared)
{
    FakeMac mac(FakeMac::Storage::memory);
    for (unsigned seed : {1u, 2u, 3u}) {
        const MacPath root("/Users/Shared/Random" + std::to_string(seed));
        makeRandomTree(mac, root, seed);
        const std::string host = mac.host(root);
        EXPECT_EQ(allocatedSize(root), serialAnswer(host)) << "seed " << seed;

        // Measured by several callers at once, each gets the whole answer.
        std::vector<std::int64_t> answers(4);
        std::vector<std::thread> callers;
        for (auto& answer : answers)
            callers.emplace_back([&answer, &root] { answer = allocatedSize(root); });
        for (auto& caller : callers)
            caller.join();
        for (auto answer : answers)
            EXPECT_EQ(answer, serialAnswer(host)) << "seed " << seed;
    }

    // Without root's rights the closed folders are skipped, on whatever thread meets them.
    const MacPath root("/Users/Shared/Random1");
    const std::int64_t withClosedFolders = serialAnswer(mac.host(root));
    const int rc = veldo::testsupport::runUnprivileged([&] {
        const std::int64_t measured = allocatedSize(root);
        return measured == serialAnswer(mac.host(root)) && measured < withClosedFolders ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

TEST(AllocatedSize, ASecondVolumeInTheTreeIsMeasuredLikeTheSerialWalk)
{
    FakeMac mac;
    const MacPath root("/Users/Shared/Volumes");
    makeRandomTree(mac, root, 7);
    const MacPath mountPoint = mac.mkdir(root.appendingPathComponent("mounted"));
    if (::mount("veldo-test", mac.host(mountPoint).c_str(), "tmpfs", 0, "size=64m") != 0)
        GTEST_SKIP() << "can't mount a tmpfs here: " << std::strerror(errno);
    // Same inode numbers may occur on both volumes: hard links are told apart by device too.
    makeRandomTree(mac, mountPoint.appendingPathComponent("inside"), 8,
                   mountPoint.appendingPathComponent("outside"));
    const std::int64_t expected = serialAnswer(mac.host(root));
    const std::int64_t measured = allocatedSize(root);
    ::umount2(mac.host(mountPoint).c_str(), MNT_DETACH);
    EXPECT_EQ(measured, expected);
}
