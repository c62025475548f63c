// Last-used dates from the access time of a bundle's main executable.
#include "platform/LastUsedDates.h"

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/PlistValue.h"
#include "platform/SigningInformation.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/MachOWriter.h"
#include "tests/support/Unprivileged.h"

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

// Reading an app's signature (as the orphan scan does for every installed app) is not a use of
// the app: it must not move the date the list shows, which the mount's relatime rule would do
// for an access time older than a day.
TEST(LastUsedDates, ReadingTheSignatureLeavesTheDate)
{
    FakeMac mac;
    const MacPath bundle = "/Applications/Signed.app"_mac;
    mac.makeApp(bundle, PlistValue::Dictionary{{"CFBundleExecutable", "Signed"}});
    const MacPath executable = "/Applications/Signed.app/Contents/MacOS/Signed"_mac;
    using veldo::testsupport::MachOSignatureSpec;
    mac.write(executable,
              veldo::testsupport::writeThinMachO(
                  {true, false, MachOSignatureSpec{"AB12CD34EF", std::nullopt}})
                  .bytes,
              0755);
    setAccessTime(mac, executable, 1'600'000'000);

    const auto signing = signingInformation(bundle);
    ASSERT_TRUE(signing);
    EXPECT_EQ(signing->teamIdentifier, "AB12CD34EF");
    EXPECT_EQ(lastUsedSeconds(bundle), 1'600'000'000);

    // Someone who neither owns the file nor is root may not keep the access time; the signature
    // is read all the same.
    if (::geteuid() != 0 || !veldo::testsupport::unprivilegedCanSearch(mac.root()))
        return;
    const int rc = veldo::testsupport::runUnprivileged([&] {
        const auto theirs = signingInformation(bundle);
        return theirs && theirs->teamIdentifier == "AB12CD34EF" ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}
