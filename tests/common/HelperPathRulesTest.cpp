// The helper's path rules: the normaliser's table, names, managed and Apple-owned locations,
// direct Trash items, the move and put-back verdicts, and the account check of journal records.
#include "common/HelperPathRules.h"

#include <cctype>
#include <filesystem>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"

namespace {

namespace fs = std::filesystem;
using veldo::common::HelperStagingRecord;
using veldo::common::LocationVerdict;
using veldo::platform::MacPath;
namespace rules = veldo::common;

const std::string kUnidentifiable =
    "Veldo can't safely identify this location, so it wasn't touched.";
const std::string kAlreadyInTrash = "This item is already in the Trash.";
const std::string kOutsideManaged = "This location is outside the folders the helper manages.";
const std::string kAppleOwned =
    "This is one of Apple's files, so moving it needs your administrator password.";
const std::string kLinkedFolder = "A folder on the way to this item is a symbolic link.";
const std::string kNotDirectlyInTrash = "The destination isn't directly inside your Trash.";
const std::string kOnlyDirectTrashItems = "Only items directly inside your Trash can be put back.";
const std::string kCannotPutBack = "Veldo can't safely put this item back.";

TEST(HelperPathRules, NormalizePath)
{
    const std::string a255(255, 'a');
    const std::string a256(256, 'a');
    // "/" + 255 + "/" + 255 + "/" + 255 + "/" + 254 bytes = 1,023 bytes.
    const std::string long1023 = "/" + a255 + "/" + a255 + "/" + a255 + "/" + std::string(254, 'd');
    ASSERT_EQ(long1023.size(), 1023u);
    const std::string long1024 = long1023 + "d";
    // 127 two-byte letters and one more byte: 255 bytes in one component.
    std::string accented;
    for (int i = 0; i < 127; ++i)
        accented += "\u00e9";
    const std::string accented255 = accented + "x";
    const std::string accented256 = accented + "xy";

    struct Case
    {
        std::string in;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"/Users//a/", "/Users/a"},
        {"/Users/a/b", "/Users/a/b"},
        {"/", "/"},
        {"///", "/"},
        {"/Users/a/./b", std::nullopt},
        {"/Users/a/../b", std::nullopt},
        {"/Users/a/..", std::nullopt},
        {"/.", std::nullopt},
        {"/Users/a/...", "/Users/a/..."},
        {"/Users/a/.b", "/Users/a/.b"},
        {"", std::nullopt},
        {"Users/a", std::nullopt},
        {"./Users", std::nullopt},
        {"~/Library", std::nullopt},
        {"/tmp/x", "/private/tmp/x"},
        {"/var/db/x", "/private/var/db/x"},
        {"//etc//hosts", "/private/etc/hosts"},
        {"/var", "/private/var"},
        {"/Tmp/x", "/Tmp/x"},
        {"/VAR/db", "/VAR/db"},
        {"/variable/x", "/variable/x"},
        {"/private/var/db", "/private/var/db"},
        {"/Users/tmp/x", "/Users/tmp/x"},
        {"/Users/a\tb", std::nullopt},
        {"/Users/a\nb", std::nullopt},
        {std::string("/Users/a\0b", 10), std::nullopt},
        {"/Users/a\x7f", std::nullopt},
        {"/Users/a\u0085b", std::nullopt}, // NEL, a C1 control
        {"/Users/a\u00a0b", "/Users/a\u00a0b"},
        {"/Users/Jos\u00e9", "/Users/Jos\u00e9"},
        {"/Users/Jose\u0301", "/Users/Jose\u0301"}, // the form as written
        {"/Users/a\xff", std::nullopt},             // not UTF-8
        {"/Users/a\xc0\xaf", std::nullopt},         // an overlong "/"
        {"/Users/a\xed\xa0\x80", std::nullopt},     // a surrogate
        {long1023, long1023},
        {long1024, std::nullopt},
        {"/" + a255, "/" + a255},
        {"/" + a256, std::nullopt},
        {"/x/" + accented255, "/x/" + accented255},
        {"/x/" + accented256, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::normalizePath(c.in), c.out) << c.in;

    // The length limit applies to the path as given, doubled slashes included.
    EXPECT_FALSE(rules::normalizePath("/" + long1023));
    // The state folder's own path comes back unchanged.
    EXPECT_EQ(rules::normalizePath("/private/var/db/orbelkan.Veldo.Helper"),
              "/private/var/db/orbelkan.Veldo.Helper");
}

TEST(HelperPathRules, PlainNamesAndControlCharacters)
{
    struct Case
    {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        {"Report.pdf", true},
        {".hidden", true},
        {"...", true},
        {"a b", true},
        {"\u00e9t\u00e9", true},
        {std::string(255, 'n'), true},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"/", false},
        {std::string(256, 'n'), false},
        {"a\tb", false},
        {"a\rb", false},
        {"\u009fx", false},
        {"a\xfe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::isPlainName(c.name), c.plain) << c.name;

    EXPECT_FALSE(rules::containsControlCharacter("plain text \u00c2\u00a0 \u2028"));
    EXPECT_TRUE(rules::containsControlCharacter("\x1b[0m"));
    EXPECT_TRUE(rules::containsControlCharacter("\u0080"));
    EXPECT_FALSE(rules::containsControlCharacter("\u00a0"));
}

TEST(HelperPathRules, NumberedName)
{
    struct Case
    {
        std::string name;
        int n;
        std::string out;
    };
    const Case cases[] = {
        {"Report.pdf", 2, "Report 2.pdf"},
        {"Report", 3, "Report 3"},
        {".hidden", 2, ".hidden 2"},
        {".hidden.txt", 2, ".hidden 2.txt"},
        {"archive.tar.gz", 4, "archive.tar 4.gz"},
        {"Foo.app", 10, "Foo 10.app"},
        {"Report.pdf", 1, "Report.pdf"},
        {"Report.pdf", 0, "Report.pdf"},
        {"Report.pdf", -3, "Report.pdf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::numberedName(c.name, c.n), c.out) << c.name << " " << c.n;
}

TEST(HelperPathRules, ConcatenateBytes)
{
    using namespace std::string_literals;
    EXPECT_EQ(rules::concatenateBytes("", "name"), "name");
    EXPECT_EQ(rules::concatenateBytes("a/b", "c"), "a/b/c");
    EXPECT_EQ(rules::concatenateBytes("a", "c\0junk"s), "a/c");
    EXPECT_EQ(rules::concatenateBytes("", "\xff\xfe"), "\xff\xfe");
    EXPECT_EQ(rules::concatenateBytes("", "\0x"s), "");
}

TEST(HelperPathRules, LaunchDaemonPlists)
{
    struct Case
    {
        const char* path;
        bool daemon;
    };
    const Case cases[] = {
        {"/Library/LaunchDaemons/com.example.helper.plist", true},
        {"/library/launchdaemons/com.example.helper.PLIST", true},
        {"/Library//LaunchDaemons/a.plist", true},
        {"/Library/LaunchDaemons/.plist", false},
        {"/Library/LaunchDaemons/Sub/x.plist", false},
        {"/Library/LaunchDaemons/x.plist.bak", false},
        {"/Library/LaunchDaemons", false},
        {"/Library/LaunchAgents/x.plist", false},
        {"/Users/a/Library/LaunchDaemons/x.plist", false},
        {"/Library/LaunchDaemons/./x.plist", false},
        {"Library/LaunchDaemons/x.plist", false},
        {"/Library/LaunchDaemons/x\n.plist", false},
        // The length is counted in characters, not bytes: these fold to ".plist" and are six
        // and five characters long.
        {"/Library/LaunchDaemons/.pli\u017Ft", false},
        {"/Library/LaunchDaemons/.pli\uFB06", false},
        {"/Library/LaunchDaemons/\u00e9.plist", true},
        {"/Library/LaunchDaemons/e\u0301.plist", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::isLaunchDaemonPlist(c.path), c.daemon) << c.path;
}

TEST(HelperPathRules, ManagedLocations)
{
    struct Case
    {
        const char* path;
        bool managed;
    };
    const Case cases[] = {
        {"/Applications", false},
        {"/Applications/X.app", true},
        {"/applications/X.app", true},
        {"/Library", false},
        {"/LIBRARY/Caches/x", true},
        {"/usr/local/bin/tool", true},
        {"/usr/local", false},
        {"/usr/localx/y", false},
        {"/usr/bin/x", false},
        {"/opt/homebrew", true},
        {"/Users/Shared/x", true},
        {"/Users/Shared", false},
        // The shared folder as spelt: another spelling may be an account's home.
        {"/Users/shared/x", false},
        {"/users/shared/x", false},
        {"/Users/SHARED/x", false},
        {"/Users/\u017fhared/x", false},
        {"/private/var/db/receipts/com.example.pkg.bom", true},
        {"/private/var/db/x", false},
        {"/Users/a", false},
        {"/Users/a/Documents/file", true},
        // Another spelling of the home is another folder, maybe another account's home.
        {"/Users/A/x", false},
        {"/users/a/x", false},
        {"/Users/ab/x", false},
        {"/Users/b/x", false},
        {"/Volumes/Disk/Applications/X.app", true},
        {"/Volumes/Disk/Applications", false},
        {"/Volumes/Disk/Library/Caches", true},
        {"/Volumes/Disk/Users/a/x", false},
        {"/System/Library/x", false},
        {"/srv/x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::isManagedLocation(c.path, "/Users/a"), c.managed) << c.path;

    // The home is compared as it is spelt, accents too; what lies below it is folded.
    EXPECT_FALSE(rules::isManagedLocation("/Users/Jose\u0301/x", "/Users/Jos\u00e9"));
    EXPECT_FALSE(rules::isManagedLocation("/Users/JOS\u00c9/x", "/Users/jose\u0301"));
    EXPECT_TRUE(rules::isManagedLocation("/Users/Jos\u00e9/x", "/Users/Jos\u00e9"));
    // Such an account's own home is its own.
    EXPECT_TRUE(rules::isManagedLocation("/Users/shared/x", "/Users/shared"));
    EXPECT_FALSE(rules::isManagedLocation("/Users/\u017fhared/x", "/Users/shared"));
}

TEST(HelperPathRules, AppleOwnedPaths)
{
    struct Case
    {
        const char* path;
        bool apple;
    };
    const Case cases[] = {
        {"/Users/a/Library/Preferences/com.apple.dock.plist", true},
        {"/Library/Apple/usr", true},
        {"/Library/Application Support/Apple/x", true},
        {"/Library/Caches/COM.APPLE.Safari", true},
        {"/Library/Preferences/com.applesoft.plist", false},
        {"/Library/Caches/com.apple", false},
        {"/Library", false},
        {"/Applications/Apple Stuff.app", false},
        {"/Apple/Library/x", false},
        {"/Volumes/Disk/Library/Apple/x", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::isAppleOwnedPath(c.path), c.apple) << c.path;
}

TEST(HelperPathRules, DirectTrashItems)
{
    struct Case
    {
        const char* path;
        bool direct;
    };
    const Case cases[] = {
        {"/Users/a/.Trash/Report.pdf", true},
        {"/Users/a/.TRASH/Report.pdf", true},
        {"/Users/A/.Trash/Report.pdf", false},
        {"/users/a/.Trash/Report.pdf", false},
        {"/Users/a/.Trash/.Veldo Helper", true}, // no trailing space: not the prefix
        {"/Users/a/.Trash", false},
        {"/Users/a/.Trash/x/y", false},
        {"/Users/a/.Trash/.Veldo Helper 6F1C3E52-0D0B-4F8A-9B7E-2D1F0C3A4B5C", false},
        {"/Users/a/.Trash/.veldo helper x", false},
        {"/Users/a/.Trash/.Veldo Helper ", false},
        {"/Users/b/.Trash/x", false},
        {"/Users/a/Trash/x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rules::isDirectTrashItem(c.path, "/Users/a"), c.direct) << c.path;
}

class HelperLocationVerdictTest : public ::testing::Test
{
protected:
    LocationVerdict move(const std::string& source, const std::string& destination,
                         bool checkLinkedFolders = true) const
    {
        return rules::checkMoveLocation(source, destination, home, protectedBundles,
                                        checkLinkedFolders);
    }
    LocationVerdict restore(const std::string& trashPath, const std::string& original) const
    {
        return rules::checkRestoreLocation(trashPath, original, home, protectedBundles);
    }
    std::string trash(const std::string& name) const { return h + "/.Trash/" + name; }

    veldo::testsupport::FakeMac mac;
    MacPath home = mac.home();
    std::string h = home.path();
    std::vector<MacPath> protectedBundles{MacPath("/Applications/Veldo.app")};
};

TEST_F(HelperLocationVerdictTest, MoveVerdicts)
{
    mac.mkdir(home.appendingPathComponent("Library/Caches/target"));
    mac.symlink(home.appendingPathComponent("Library/Application Support/Linked"),
                h + "/Library/Caches/target");
    const LocationVerdict allowed = LocationVerdict::allowed();
    struct Case
    {
        std::string source;
        std::string destination;
        LocationVerdict verdict;
    };
    const Case cases[] = {
        {"/Applications/Foo.app", trash("Foo.app"), allowed},
        {"/Applications//Foo.app/", trash("Foo.app"), allowed},
        {h + "//Library/Caches/com.example", trash("com.example"), allowed},
        {"/Library/LaunchDaemons/com.example.plist", trash("com.example.plist"), allowed},
        {"relative/Foo.app", trash("Foo.app"), LocationVerdict::refused(kUnidentifiable)},
        {"/", trash("x"), LocationVerdict::refused(kUnidentifiable)},
        {"/Applications/../Foo.app", trash("Foo.app"), LocationVerdict::refused(kUnidentifiable)},
        {"/Applications/Foo.app", h + "/.Trash/../Foo.app",
         LocationVerdict::refused(kUnidentifiable)},
        {h + "/.Trash", trash("x"), LocationVerdict::refused(kAlreadyInTrash)},
        {h + "/.Trash/Old.app", trash("Old.app"), LocationVerdict::refused(kAlreadyInTrash)},
        {"/Library/Preferences", trash("Preferences"),
         LocationVerdict::refused("\u201C/Library/Preferences\u201D is a protected system or user "
                                  "folder. Veldo never removes it.")},
        {"/Applications/Veldo.app", trash("Veldo.app"),
         LocationVerdict::refused("Veldo can't remove itself.")},
        {"/srv/data/x", trash("x"), LocationVerdict::notManaged(kOutsideManaged)},
        {"/Users/someoneelse/Desktop/x.txt", trash("x.txt"),
         LocationVerdict::notManaged(kOutsideManaged)},
        {h + "/Library/Preferences/com.apple.dock.plist", trash("com.apple.dock.plist"),
         LocationVerdict::notManaged(kAppleOwned)},
        {h + "/Library/Application Support/Linked/item", trash("item"),
         LocationVerdict::notManaged(kLinkedFolder)},
        {"/Applications/Foo.app", trash("sub/Foo.app"),
         LocationVerdict::refused(kNotDirectlyInTrash)},
        {"/Applications/Foo.app", h + "/Desktop/Foo.app",
         LocationVerdict::refused(kNotDirectlyInTrash)},
        {"/Applications/Foo.app", trash(".Veldo Helper 1234"),
         LocationVerdict::refused(kNotDirectlyInTrash)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(move(c.source, c.destination), c.verdict) << c.source << " -> " << c.destination;

    // Without the linked-folder check the same item is allowed.
    EXPECT_EQ(move(h + "/Library/Application Support/Linked/item", trash("item"), false), allowed);
    // A home folder that cannot be identified refuses everything.
    EXPECT_EQ(rules::checkMoveLocation("/Applications/Foo.app", "/.Trash/Foo.app", MacPath("/"), {},
                                       true),
              LocationVerdict::refused(kUnidentifiable));
    EXPECT_EQ(rules::checkMoveLocation("/Applications/Foo.app", trash("Foo.app"),
                                       MacPath(h + "/\x01"), {}, true),
              LocationVerdict::refused(kUnidentifiable));
}

TEST_F(HelperLocationVerdictTest, RestoreVerdicts)
{
    mac.mkdir(home.appendingPathComponent("Library/Caches/target"));
    mac.symlink(home.appendingPathComponent("Library/Application Support/Linked"),
                h + "/Library/Caches/target");
    const LocationVerdict allowed = LocationVerdict::allowed();
    struct Case
    {
        std::string trashPath;
        std::string original;
        LocationVerdict verdict;
    };
    const Case cases[] = {
        {trash("Foo.app"), "/Applications/Foo.app", allowed},
        {h + "//.Trash/Foo.app", "/Applications//Foo.app", allowed},
        // No linked-folder check on the way back.
        {trash("item"), h + "/Library/Application Support/Linked/item", allowed},
        {trash("Foo.app"), "/", LocationVerdict::refused(kUnidentifiable)},
        {trash("Foo.app"), "Applications/Foo.app", LocationVerdict::refused(kUnidentifiable)},
        {"/Users/../.Trash/Foo.app", "/Applications/Foo.app",
         LocationVerdict::refused(kUnidentifiable)},
        {trash("sub/Foo.app"), "/Applications/Foo.app",
         LocationVerdict::refused(kOnlyDirectTrashItems)},
        {trash(".Veldo Helper 1"), "/Applications/Foo.app",
         LocationVerdict::refused(kOnlyDirectTrashItems)},
        {trash("Foo.app"), h + "/.Trash/Foo.app", LocationVerdict::refused(kCannotPutBack)},
        {trash("Foo.app"), h + "/.TRASH", LocationVerdict::refused(kCannotPutBack)},
        {trash("Preferences"), "/Library/Preferences", LocationVerdict::refused(kCannotPutBack)},
        {trash("Veldo.app"), "/Applications/Veldo.app", LocationVerdict::refused(kCannotPutBack)},
        {trash("x"), "/srv/data/x", LocationVerdict::notManaged(kOutsideManaged)},
        {trash("com.apple.dock.plist"), h + "/Library/Preferences/com.apple.dock.plist",
         LocationVerdict::notManaged(kAppleOwned)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(restore(c.trashPath, c.original), c.verdict)
            << c.trashPath << " -> " << c.original;
}

TEST_F(HelperLocationVerdictTest, AHomeSpeltOtherwiseIsAnotherAccountsHome)
{
    // The login name in capitals: one folder on a Mac, here another folder that may be another
    // account's home. Nothing in it is the caller's, but its protected folders stay protected.
    std::string twin = h;
    for (std::size_t at = twin.rfind('/') + 1; at < twin.size(); ++at)
        twin[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(twin[at])));
    ASSERT_NE(twin, h) << "the login name has no lower-case letters";
    const auto protectedFolder = [](const std::string& path) {
        return LocationVerdict::refused("\u201C" + path +
                                        "\u201D is a protected system or user folder. Veldo never "
                                        "removes it.");
    };
    struct Case
    {
        std::string from;
        std::string to;
        LocationVerdict verdict;
    };
    const Case moves[] = {
        {twin + "/Library/Caches/x", trash("x"), LocationVerdict::notManaged(kOutsideManaged)},
        {twin + "/.Trash/x", trash("x"), LocationVerdict::notManaged(kOutsideManaged)},
        {twin + "/Library", trash("Library"), protectedFolder(twin + "/Library")},
        {"/Applications/Foo.app", twin + "/.Trash/Foo.app",
         LocationVerdict::refused(kNotDirectlyInTrash)},
        // Below the caller's own home ".Trash" is still folded.
        {h + "/.TRASH/x", trash("x"), LocationVerdict::refused(kAlreadyInTrash)},
    };
    for (const Case& c : moves)
        EXPECT_EQ(move(c.from, c.to), c.verdict) << c.from << " -> " << c.to;
    const Case restores[] = {
        {twin + "/.Trash/x", "/Applications/Foo.app",
         LocationVerdict::refused(kOnlyDirectTrashItems)},
        {trash("x"), twin + "/Library/Caches/x", LocationVerdict::notManaged(kOutsideManaged)},
        {trash("x"), twin + "/.Trash/x", LocationVerdict::notManaged(kOutsideManaged)},
        {trash("Library"), twin + "/Library", LocationVerdict::refused(kCannotPutBack)},
        {trash("x"), h + "/.TRASH/x", LocationVerdict::refused(kCannotPutBack)},
    };
    for (const Case& c : restores)
        EXPECT_EQ(restore(c.from, c.to), c.verdict) << c.from << " -> " << c.to;
}

TEST(HelperAccountHome, MatchesOnlyAnExistingAccountWithTheSameHome)
{
    veldo::testsupport::FakeMac mac;
    HelperStagingRecord record;
    record.uid = ::getuid();
    record.home = mac.home().path();
    EXPECT_TRUE(rules::accountHomeMatches(record));

    // A home that has moved since the record was written, or is spelt otherwise.
    HelperStagingRecord moved = record;
    moved.home = record.home + "-old";
    EXPECT_FALSE(rules::accountHomeMatches(moved));
    HelperStagingRecord unnormalised = record;
    unnormalised.home = record.home + "/";
    EXPECT_FALSE(rules::accountHomeMatches(unnormalised));

    // An account that no longer exists.
    HelperStagingRecord deleted = record;
    deleted.uid = 3'999'999'999u;
    EXPECT_FALSE(rules::accountHomeMatches(deleted));

    // The home folder is gone.
    fs::remove_all(mac.host(mac.home()));
    EXPECT_FALSE(rules::accountHomeMatches(record));
    // A link standing at the home counts as there (it is not followed).
    fs::create_symlink("/nowhere", mac.host(mac.home()));
    EXPECT_TRUE(rules::accountHomeMatches(record));
}

TEST(HelperAccountHome, WithoutAMacRootTheUserDatabaseGivesTheHome)
{
    const passwd* entry = ::getpwuid(::getuid()); // NOLINT(concurrency-mt-unsafe): one thread
    ASSERT_NE(entry, nullptr);
    const std::string home = entry->pw_dir ? entry->pw_dir : "";
    struct stat st = {};
    if (home.empty() || home.front() != '/' || ::lstat(home.c_str(), &st) != 0)
        GTEST_SKIP() << "this account has no home folder on this machine";
    HelperStagingRecord record;
    record.uid = ::getuid();
    record.home = *rules::normalizePath(MacPath(home).standardized().path());
    EXPECT_TRUE(rules::accountHomeMatches(record));
    record.home = "/Users/" + std::string(entry->pw_name);
    EXPECT_EQ(rules::accountHomeMatches(record), home == record.home);
}

} // namespace
