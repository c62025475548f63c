// The shell text of the administrator move (with an empty Mac root, as on a Mac), the folder
// proof and the Trash names it relies on.
#include <cerrno>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/removal/AdminFolderChecks.h"
#include "app/removal/AdminScriptText.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace AdminRemover = veldo::removal::AdminRemover;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

// The guards of the daemon clause below, written out.
const std::string kParentGuard =
    R"~(cd -P -- '/Library/LaunchDaemons' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i . 2>/dev/null)" = '16777220:12' ] && [ "$(pwd -P)" = '/Library/LaunchDaemons' ])~";
const std::string kItemGuard =
    kParentGuard + R"~( && [ "$(I './com.example.helper.plist')" = '16777220:34' ])~";
const std::string kTrashGuard =
    R"~(cd -P -- '/Users/u/.Trash' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i:%u . 2>/dev/null)" = '16777220:56:501' ] && [ "$(pwd -P)" = '/Users/u/.Trash' ])~";
const std::string kPrefix =
    R"~(( R() { /usr/bin/env -i /usr/bin/perl -e 'rename($ARGV[0], $ARGV[1]) or exit 1' -- "$1" "$2" 2>/dev/null; }; I() { /usr/bin/stat -f %d:%i "$1" 2>/dev/null; }; S=$(/usr/bin/mktemp -d /private/var/tmp/veldo.XXXXXX 2>/dev/null) || exit 1; [ "$(/usr/bin/stat -f %d "$S" 2>/dev/null)" = '16777220' ] || { /bin/rmdir "$S"; exit 1; }; )~";

AdminRemover::MoveClause daemonClause()
{
    AdminRemover::MoveClause c;
    c.index = 2;
    c.parentPath = "/Library/LaunchDaemons";
    c.parentIdentity = "16777220:12";
    c.name = "com.example.helper.plist";
    c.itemIdentity = "16777220:34";
    c.trashPath = "/Users/u/.Trash";
    c.trashIdentity = "16777220:56:501";
    c.trashDevice = "16777220";
    c.destinationName = "com.example.helper.plist";
    c.bootsOutDaemon = true;
    return c;
}

std::size_t occurrences(const std::string& text, const std::string& piece)
{
    std::size_t count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(AdminMoveText, ShellQuoting)
{
    const struct
    {
        std::string value;
        std::string quoted;
    } cases[] = {
        {"", "''"},
        {"/Library/Caches", "'/Library/Caches'"},
        {"it's", R"~('it'\''s')~"},
        {"''", R"~(''\'''\''')~"},
        {"a b$(x)`y`\"\\*", "'a b$(x)`y`\"\\*'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdminRemover::shellQuoted(c.value), c.quoted) << c.value;
}

TEST(AdminMoveText, GuardClauseWithAndWithoutOwner)
{
    EXPECT_EQ(AdminRemover::guardClause("/Library/LaunchDaemons", "16777220:12", false),
              kParentGuard);
    EXPECT_EQ(AdminRemover::guardClause("/Users/u/.Trash", "16777220:56:501", true), kTrashGuard);
    EXPECT_EQ(
        AdminRemover::guardClause("/Library/it's", "1:2", false),
        R"~(cd -P -- '/Library/it'\''s' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i . 2>/dev/null)" = '1:2' ] && [ "$(pwd -P)" = '/Library/it'\''s' ])~");
}

TEST(AdminMoveText, ControlCharactersAreCategoryCcOnly)
{
    const struct
    {
        const char* name;
        std::string text;
        bool control;
    } cases[] = {
        {"plain", "/Library/Caches/é", false},
        {"NUL", std::string("a\0b", 3), true},
        {"tab", "a\tb", true},
        {"line feed", "a\nb", true},
        {"DEL", "a\x7f", true},
        {"NEL U+0085", "a\u0085", true},
        {"U+009F", "a\u009f", true},
        {"no-break space U+00A0", "a\u00a0", false},
        {"zero-width space U+200B (Cf)", "a\u200b", false},
        {"line separator U+2028", "a\u2028", false},
        {"paragraph separator U+2029", "a\u2029", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdminRemover::containsControlCharacters(c.text), c.control) << c.name;
}

TEST(AdminMoveText, DaemonClauseBootsOutAndBootsBackOnlyWhenBackInPlace)
{
    const std::string bootstrap =
        "( " + kItemGuard +
        R"~( && /bin/launchctl bootstrap system "$PWD"/'com.example.helper.plist' ) >/dev/null 2>&1; )~";
    const std::string expected =
        kPrefix + "( " + kItemGuard +
        R"~( && /bin/launchctl bootout system "$PWD"/'com.example.helper.plist' ) >/dev/null 2>&1 && B=1; )~" +
        "( " + kItemGuard +
        R"~( && R './com.example.helper.plist' "$S/i" ) || { [ "$B" = 1 ] && )~" + bootstrap +
        R"~(/bin/rmdir "$S" 2>/dev/null; exit 1; }; )~" +
        R"~(if [ "$(I "$S/i")" = '16777220:34' ] && ( )~" + kTrashGuard +
        R"~( && [ ! -e './com.example.helper.plist' ] && [ ! -L './com.example.helper.plist' ] && R "$S/i" './com.example.helper.plist' ); then /bin/rmdir "$S"; exit 0; fi; )~" +
        "( " + kParentGuard +
        R"~( && [ ! -e './com.example.helper.plist' ] && [ ! -L './com.example.helper.plist' ] && R "$S/i" './com.example.helper.plist' ); )~" +
        R"~([ "$B" = 1 ] && )~" + bootstrap +
        R"~(/bin/rmdir "$S" 2>/dev/null || echo "VELDO-HELD-2 $S"; exit 1 ) && echo VELDO-OK-2 || echo VELDO-FAIL-2)~";
    EXPECT_EQ(AdminRemover::moveClause(daemonClause()), expected);
}

TEST(AdminMoveText, PlainFileClause)
{
    AdminRemover::MoveClause c = daemonClause();
    c.index = 0;
    c.parentPath = "/Library/Caches";
    c.name = "cache.db";
    c.destinationName = "cache 2.db";
    c.bootsOutDaemon = false;
    const std::string parentGuard =
        R"~(cd -P -- '/Library/Caches' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i . 2>/dev/null)" = '16777220:12' ] && [ "$(pwd -P)" = '/Library/Caches' ])~";
    const std::string expected =
        kPrefix + "( " + parentGuard +
        R"~( && [ "$(I './cache.db')" = '16777220:34' ] && R './cache.db' "$S/i" ) || { /bin/rmdir "$S" 2>/dev/null; exit 1; }; )~" +
        R"~(if [ "$(I "$S/i")" = '16777220:34' ] && ( )~" + kTrashGuard +
        R"~( && [ ! -e './cache 2.db' ] && [ ! -L './cache 2.db' ] && R "$S/i" './cache 2.db' ); then /bin/rmdir "$S"; exit 0; fi; )~" +
        "( " + parentGuard +
        R"~( && [ ! -e './cache.db' ] && [ ! -L './cache.db' ] && R "$S/i" './cache.db' ); )~" +
        R"~(/bin/rmdir "$S" 2>/dev/null || echo "VELDO-HELD-0 $S"; exit 1 ) && echo VELDO-OK-0 || echo VELDO-FAIL-0)~";
    EXPECT_EQ(AdminRemover::moveClause(c), expected);
}

TEST(AdminMoveText, AnApostropheIsQuotedInEveryPlace)
{
    AdminRemover::MoveClause c = daemonClause();
    c.parentPath = "/Library/it's";
    c.name = "it's";
    c.trashPath = "/Users/it's/.Trash";
    c.destinationName = "it's 2";
    c.bootsOutDaemon = false;
    const std::string text = AdminRemover::moveClause(c);
    // Parent: two guards of two places each; item: guard, rename, two tests and the put-back.
    EXPECT_EQ(occurrences(text, R"~('/Library/it'\''s')~"), 4u) << text;
    EXPECT_EQ(occurrences(text, R"~('./it'\''s')~"), 5u) << text;
    EXPECT_EQ(occurrences(text, R"~('/Users/it'\''s/.Trash')~"), 2u) << text;
    EXPECT_EQ(occurrences(text, R"~('./it'\''s 2')~"), 3u) << text;
    // Nothing else spells the name.
    EXPECT_EQ(occurrences(text, "it's"), 0u) << text;
}

TEST(AdminFolderChecks, VerifyFolderProvesAPathWithoutLinks)
{
    FakeMac mac;
    mac.mkdir("/Library/Caches/real"_mac);
    mac.symlink("/Library/linked"_mac, "/Library/Caches");
    mac.write("/Library/file"_mac, "x");
    mac.mkdir("/Library/bad\xff"_mac);
    const std::string longName(256, 'n');

    auto verified = AdminRemover::verifyFolder("/Library/Caches/real");
    ASSERT_TRUE(verified.has_value());
    EXPECT_EQ(verified->path, "/Library/Caches/real");
    EXPECT_TRUE(verified->status.isDirectory());
    EXPECT_EQ(verified->status.inode, veldo::platform::fileStatus("/Library/Caches/real"_mac,
                                                                  veldo::platform::FollowLinks::no)
                                          ->inode);

    // The Mac's own links of /var, /tmp and /etc do not count.
    verified = AdminRemover::verifyFolder("/var/tmp");
    ASSERT_TRUE(verified.has_value());
    EXPECT_EQ(verified->path, "/private/var/tmp");

    const struct
    {
        std::string path;
        int err;
    } refused[] = {
        {"/Library/linked/real", ELOOP},        {"/Library/linked", ELOOP},
        {"/Library/missing", ENOENT},           {"/Library/file", ENOTDIR},
        {"/Library/" + longName, ENAMETOOLONG}, {"/Library/bad\xff", EILSEQ},
    };
    for (const auto& r : refused) {
        const auto result = AdminRemover::verifyFolder(r.path);
        ASSERT_FALSE(result.has_value()) << r.path;
        EXPECT_EQ(result.error().systemErrno, r.err) << r.path;
    }
}

TEST(AdminFolderChecks, TrashNamesSkipTakenAndReservedNames)
{
    FakeMac mac;
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    mac.write(trash.appendingPathComponent("Foo.plist"), "x");
    mac.write(trash.appendingPathComponent("LOG.txt"), "x");
    mac.symlink(trash.appendingPathComponent("Gone"), "/nowhere");
    const std::string t = trash.path();

    std::set<std::string> reserved;
    const struct
    {
        MacPath item;
        std::string destination;
    } cases[] = {
        {"/Library/Foo.plist"_mac, t + "/Foo 2.plist"},
        {"/Library/log.txt"_mac, t + "/log 2.txt"}, // the Trash's LOG.txt, found ignoring case
        {"/Library/Gone"_mac, t + "/Gone 2"},       // a dangling link is taken
        {"/Library/Cache"_mac, t + "/Cache"},
        {"/Library/Other/cache"_mac, t + "/cache 2"}, // reserved ignoring case, own case kept
        {"/Library/More/CACHE"_mac, t + "/CACHE 3"},
        {"/Library/Foo.plist/"_mac, t + "/Foo 3.plist"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AdminRemover::uniqueTrashDestination(c.item, t, reserved), c.destination)
            << c.item.path();
    }
    EXPECT_TRUE(reserved.contains(veldo::platform::lowercased(t) + "/cache 3"));
    EXPECT_EQ(reserved.size(), std::size(cases));
}
