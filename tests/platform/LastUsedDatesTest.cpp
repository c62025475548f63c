// Last-used dates from the access time of a bundle's main executable.
#include "platform/LastUsedDates.h"

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/PlistValue.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

void setAccessTime(const FakeMac& mac, const MacPath& path, std::int64_t seconds)
{
    struct timespec times[2] = {{seconds, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(path).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::optional<std::int64_t> lastUsedSeconds(const MacPath& bundle)
{
    auto date = ExecutableAccessTime::shared().lastUsedDate(bundle);
    if (!date)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch()).count();
}

} // namespace

TEST(LastUsedDates, AccessTimeOfTheMainExecutable)
{
    FakeMac mac;
    // The executable named by the dictionary.
    mac.makeApp("/Applications/Named.app"_mac,
                PlistValue::Dictionary{{"CFBundleExecutable", "named-main"}});
    mac.write("/Applications/Named.app/Contents/MacOS/Named"_mac, "other", 0755);
    setAccessTime(mac, "/Applications/Named.app/Contents/MacOS/named-main"_mac, 1'600'000'000);
    setAccessTime(mac, "/Applications/Named.app/Contents/MacOS/Named"_mac, 1'500'000'000);
    EXPECT_EQ(lastUsedSeconds("/Applications/Named.app"_mac), 1'600'000'000);

    // No dictionary: the bundle's own name.
    mac.write("/Applications/Plain.app/Contents/MacOS/Plain"_mac, "x", 0755);
    setAccessTime(mac, "/Applications/Plain.app/Contents/MacOS/Plain"_mac, 1'650'000'000);
    EXPECT_EQ(lastUsedSeconds("/Applications/Plain.app"_mac), 1'650'000'000);

    // A name that would leave the folder is not followed.
    mac.makeApp("/Applications/Escape.app"_mac,
                PlistValue::Dictionary{{"CFBundleExecutable", "../Info.plist"}});
    mac.write("/Applications/Escape.app/Contents/MacOS/Escape"_mac, "x", 0755);
    setAccessTime(mac, "/Applications/Escape.app/Contents/MacOS/Escape"_mac, 1'640'000'000);
    EXPECT_EQ(lastUsedSeconds("/Applications/Escape.app"_mac), 1'640'000'000);

    // No executable, or a folder in its place: no date.
    mac.makeApp("/Applications/Empty.app"_mac, PlistValue::Dictionary{{"CFBundleName", "Empty"}});
    EXPECT_EQ(lastUsedSeconds("/Applications/Empty.app"_mac), std::nullopt);
    mac.mkdir("/Applications/Odd.app/Contents/MacOS/Odd"_mac);
    EXPECT_EQ(lastUsedSeconds("/Applications/Odd.app"_mac), std::nullopt);
    EXPECT_EQ(lastUsedSeconds("/Applications/Missing.app"_mac), std::nullopt);
}
