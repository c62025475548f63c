// The shared system-call wrappers: EINTR retried and nothing else, bounded whole reads, and
// folder making relative to a descriptor.
#include "base/SystemCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueDir.h"

using veldo::base::folderNames;
using veldo::base::forEachName;
using veldo::base::makeFolders;
using veldo::base::MakeFoldersOptions;
using veldo::base::openAt;
using veldo::base::readAll;
using veldo::base::retryOnInterrupt;
using veldo::base::UniqueDir;
using veldo::base::UniqueFd;

namespace {

// A scratch folder removed with everything in it when the test ends.
class Scratch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "veldo-base-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        path = pattern;
        dir = openAt(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY);
        ASSERT_TRUE(dir);
    }
    void TearDown() override
    {
        const std::string command = "rm -rf '" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0); // NOLINT(concurrency-mt-unsafe)
    }

    bool isFolder(const std::string& relative) const
    {
        struct stat st = {};
        return ::fstatat(dir.get(), relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISDIR(st.st_mode);
    }
    void writeFile(const std::string& relative, const std::string& bytes) const
    {
        UniqueFd fd = openAt(dir.get(), relative.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_TRUE(fd);
        ASSERT_EQ(::write(fd.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    std::string path;
    UniqueFd dir;
};

} // namespace

TEST(RetryOnInterrupt, RetriesOnlyInterruptedCalls)
{
    struct Case
    {
        std::vector<int> errnos; // errno of each failing call before the last one
        int lastResult;
        int lastErrno;
        int expectedCalls;
    };
    const std::vector<Case> cases = {
        {{}, 7, 0, 1},
        {{EINTR, EINTR}, 0, 0, 3},
        {{}, -1, EACCES, 1},
        {{EINTR}, -1, ENOENT, 2},
    };
    for (const Case& c : cases) {
        int calls = 0;
        const int rc = retryOnInterrupt([&] {
            const std::size_t i = static_cast<std::size_t>(calls++);
            if (i < c.errnos.size()) {
                errno = c.errnos[i];
                return -1;
            }
            errno = c.lastErrno;
            return c.lastResult;
        });
        EXPECT_EQ(rc, c.lastResult);
        EXPECT_EQ(calls, c.expectedCalls);
        if (rc == -1) {
            EXPECT_EQ(errno, c.lastErrno);
        }
    }
}

TEST_F(Scratch, OpenAtClosesOnExec)
{
    writeFile("f", "x");
    const UniqueFd fd = openAt(dir.get(), "f", O_RDONLY);
    ASSERT_TRUE(fd);
    EXPECT_NE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_FALSE(openAt(dir.get(), "missing", O_RDONLY));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(Scratch, ReadAllIsBoundedAndReportsFailures)
{
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    writeFile("big", big);
    auto readBig = [&](std::size_t max) {
        const UniqueFd fd = openAt(dir.get(), "big", O_RDONLY);
        return readAll(fd.get(), max);
    };
    EXPECT_EQ(readBig(big.size()).value(), big);
    const auto tooBig = readBig(big.size() - 1);
    ASSERT_FALSE(tooBig);
    EXPECT_EQ(tooBig.error().systemErrno, EFBIG);

    writeFile("empty", "");
    const UniqueFd empty = openAt(dir.get(), "empty", O_RDONLY);
    EXPECT_EQ(readAll(empty.get(), 0).value(), "");

    const UniqueFd folder = openAt(dir.get(), ".", O_RDONLY | O_DIRECTORY);
    const auto failed = readAll(folder.get(), 10);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().systemErrno, EISDIR);
}

TEST_F(Scratch, MakeFoldersMakesWhatIsMissingAndFollowsLinks)
{
    ASSERT_EQ(::mkdirat(dir.get(), "have", 0755), 0);
    ASSERT_EQ(::symlinkat("have", dir.get(), "link"), 0);
    std::vector<std::string> made;
    MakeFoldersOptions options;
    options.onMade = [&](int fd) {
        struct stat st = {};
        EXPECT_EQ(::fstat(fd, &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        made.push_back(std::to_string(st.st_ino));
        return true;
    };
    auto made1 = makeFolders(dir.get(), "link/a//b/", options);
    ASSERT_TRUE(made1);
    EXPECT_TRUE(isFolder("have/a/b"));
    EXPECT_EQ(made.size(), 2u); // "a" and "b"; "have" was there
    struct stat last = {};
    ASSERT_EQ(::fstatat(dir.get(), "have/a/b", &last, 0), 0);
    EXPECT_EQ(made.back(), std::to_string(last.st_ino));

    // Again: nothing to make, and the descriptor is of the same folder.
    made.clear();
    auto again = makeFolders(AT_FDCWD, path + "/have/a/b", options);
    ASSERT_TRUE(again);
    struct stat st = {};
    ASSERT_EQ(::fstat(again->get(), &st), 0);
    EXPECT_EQ(st.st_ino, last.st_ino);
    EXPECT_TRUE(made.empty());
}

TEST_F(Scratch, MakeFoldersFailures)
{
    writeFile("file", "x");
    struct Case
    {
        const char* path;
        int expectedErrno;
    };
    const std::vector<Case> cases = {
        {"file", ENOTDIR},
        {"file/below", ENOTDIR},
        {"ok/../x", EINVAL},
        {"./x", EINVAL},
    };
    for (const Case& c : cases) {
        const auto result = makeFolders(dir.get(), c.path);
        ASSERT_FALSE(result) << c.path;
        EXPECT_EQ(result.error().systemErrno, c.expectedErrno) << c.path;
    }

    MakeFoldersOptions refusing;
    refusing.onMade = [](int) { return false; };
    const auto refused = makeFolders(dir.get(), "r/s", refusing);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().systemErrno, EPERM);
    EXPECT_TRUE(isFolder("r")); // made before the refusal, and left
    EXPECT_FALSE(isFolder("r/s"));
}

TEST_F(Scratch, FolderNamesListsEveryEntryButTheDots)
{
    writeFile("file", "x");
    writeFile("\xC3\xA9t\xC3\xA9 .plist", "x"); // a non-ASCII name with a space
    ASSERT_EQ(::mkdirat(dir.get(), "folder", 0700), 0);
    ASSERT_EQ(::symlinkat("missing", dir.get(), "link"), 0);
    const std::vector<std::string> expected = {"file", "folder", "link",
                                               "\xC3\xA9t\xC3\xA9 .plist"};

    auto names = folderNames(openAt(dir.get(), ".", O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, expected);

    // A duplicate of a descriptor already read to its end is listed from the first entry.
    const UniqueFd read = openAt(dir.get(), ".", O_RDONLY | O_DIRECTORY);
    ASSERT_TRUE(
        forEachName(UniqueFd(::fcntl(read.get(), F_DUPFD_CLOEXEC, 0)), [](std::string_view) {}));
    auto again = folderNames(UniqueFd(::fcntl(read.get(), F_DUPFD_CLOEXEC, 0)));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size(), expected.size());

    ASSERT_EQ(::mkdirat(dir.get(), "empty", 0700), 0);
    EXPECT_EQ(folderNames(openAt(dir.get(), "empty", O_RDONLY | O_DIRECTORY)).value(),
              std::vector<std::string>{});
}

TEST_F(Scratch, FolderListingsFailAndCloseWhatTheyTook)
{
    writeFile("file", "x");
    struct Case
    {
        const char* name;
        int flags;
        int expectedErrno;
    };
    const std::vector<Case> cases = {
        {"file", O_RDONLY, ENOTDIR},
        {".", O_PATH | O_DIRECTORY, EBADF}, // a path-only descriptor cannot be listed
    };
    for (const Case& c : cases) {
        UniqueFd fd = openAt(dir.get(), c.name, c.flags);
        ASSERT_TRUE(fd) << c.name;
        const int number = fd.get();
        bool visited = false;
        const auto listed = forEachName(std::move(fd), [&](std::string_view) { visited = true; });
        ASSERT_FALSE(listed) << c.name;
        EXPECT_EQ(listed.error().systemErrno, c.expectedErrno) << c.name;
        EXPECT_FALSE(visited) << c.name;
        EXPECT_EQ(::fcntl(number, F_GETFD), -1) << c.name << ": the descriptor was left open";
    }
    EXPECT_EQ(folderNames(UniqueFd()).error().systemErrno, EBADF);
}

TEST_F(Scratch, UniqueDirOwnsTheStreamAndItsDescriptor)
{
    UniqueFd fd = openAt(dir.get(), ".", O_RDONLY | O_DIRECTORY);
    ASSERT_TRUE(fd);
    const int number = fd.get();
    {
        UniqueDir stream = UniqueDir::adopt(std::move(fd));
        ASSERT_TRUE(stream);
        EXPECT_EQ(::dirfd(stream.get()), number);
        UniqueDir moved = std::move(stream);
        EXPECT_FALSE(stream); // NOLINT(bugprone-use-after-move): a moved-from owner holds nothing
        EXPECT_NE(::fcntl(number, F_GETFD), -1);
    }
    EXPECT_EQ(::fcntl(number, F_GETFD), -1); // closed with the stream

    writeFile("file", "x");
    UniqueFd file = openAt(dir.get(), "file", O_RDONLY);
    const int fileNumber = file.get();
    EXPECT_FALSE(UniqueDir::adopt(std::move(file)));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(::fcntl(fileNumber, F_GETFD), -1);
}
