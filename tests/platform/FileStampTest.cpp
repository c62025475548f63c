// File stamps: the identity and times of a folder, and when a reading of it may be racy.
#include "platform/FileStamp.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::platform::FileStamp;
using veldo::platform::FileTime;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kMillisecond = 1'000'000;

FileStamp changedAt(std::int64_t seconds, std::int64_t nanoseconds)
{
    FileStamp stamp;
    stamp.present = true;
    stamp.changed = FileTime{seconds, nanoseconds};
    stamp.modified = stamp.changed;
    return stamp;
}

} // namespace

TEST(FileStamp, AReadingIsRacyWithinATickOfTheLastChange)
{
    const std::int64_t t = 1'700'000'000;
    const FileStamp fine = changedAt(t, 400 * kMillisecond);
    const std::int64_t changed = t * kSecond + 400 * kMillisecond;
    struct Case
    {
        const FileStamp& stamp;
        std::int64_t readAt;
        bool racy;
    };
    const FileStamp whole = changedAt(t, 0);
    const Case cases[] = {
        {fine, changed, true},
        {fine, changed + 99 * kMillisecond, true},
        {fine, changed + 100 * kMillisecond, false},
        {fine, changed + 3 * kSecond, false},
        {fine, changed - kSecond, true}, // the clock was set back
        // Times in whole seconds: the file system may keep nothing finer (two seconds on FAT).
        {whole, t * kSecond + kSecond, true},
        {whole, t * kSecond + 2 * kSecond, true},
        {whole, t * kSecond + 2 * kSecond + 100 * kMillisecond, false},
        {FileStamp{}, changed, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.stamp.isRacy(c.readAt), c.racy) << c.readAt - changed;
}

TEST(FileStamp, ChangesWithTheFolderAndWhatReplacesIt)
{
    FakeMac mac;
    const auto folder = mac.mkdir("/Library/Preferences"_mac);
    const FileStamp before = FileStamp::of(folder);
    ASSERT_TRUE(before.present);
    EXPECT_EQ(FileStamp::of(folder), before);
    EXPECT_FALSE(FileStamp::of("/Library/Missing"_mac).present);

    // An entry added, with the modification time set back: the status change time still moves.
    mac.write(folder.appendingPathComponent("new.plist"), "x");
    timespec times[2] = {{0, UTIME_OMIT}, {before.modified.seconds, before.modified.nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(folder).c_str(), times, 0), 0);
    const FileStamp added = FileStamp::of(folder);
    EXPECT_EQ(added.modified, before.modified);
    EXPECT_NE(added, before);

    // Another folder in its place.
    ASSERT_EQ(::rename(mac.host(folder).c_str(), mac.host("/Library/Old"_mac).c_str()), 0);
    mac.mkdir(folder);
    const FileStamp replaced = FileStamp::of(folder);
    EXPECT_NE(replaced, added);
    EXPECT_TRUE(replaced.inode != added.inode || replaced.birthTime != added.birthTime);
}
