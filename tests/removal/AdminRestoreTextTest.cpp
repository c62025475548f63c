// The shell text of the administrator restore, with an empty Mac root (as on a Mac).
#include <string>

#include <gtest/gtest.h>

#include "app/removal/AdminScriptText.h"

namespace AdminRemover = veldo::removal::AdminRemover;

namespace {

const std::string kOpening =
    R"~(( R() { /usr/bin/env -i /usr/bin/perl -e 'rename($ARGV[0], $ARGV[1]) or exit 1' -- "$1" "$2" 2>/dev/null; }; I() { /usr/bin/stat -f %d:%i "$1" 2>/dev/null; }; S=$(/usr/bin/mktemp -d /private/var/tmp/veldo.XXXXXX 2>/dev/null) || exit 1; [ "$(/usr/bin/stat -f %d "$S" 2>/dev/null)" = '16777220' ] || { /bin/rmdir "$S"; exit 1; }; )~";
const std::string kTrashGuard =
    R"~(cd -P -- '/Users/u/.Trash' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i:%u . 2>/dev/null)" = '16777220:56:501' ] && [ "$(pwd -P)" = '/Users/u/.Trash' ])~";

AdminRemover::RestoreClause cacheClause()
{
    AdminRemover::RestoreClause c;
    c.index = 4;
    c.trashPath = "/Users/u/.Trash";
    c.trashIdentity = "16777220:56:501";
    c.trashDevice = "16777220";
    c.trashName = "it's.cache 2";
    c.itemIdentity = "16777220:78:0:80";
    c.folderPath = "/Library/Caches";
    c.folderIdentity = "16777220:12:0";
    c.name = "it's.cache";
    return c;
}

} // namespace

TEST(AdminRestoreText, ClauseTakesTheItemBackOrReturnsItToTheTrash)
{
    const std::string folderGuard =
        R"~(cd -P -- '/Library/Caches' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i:%u . 2>/dev/null)" = '16777220:12:0' ] && [ "$(pwd -P)" = '/Library/Caches' ])~";
    const std::string expected =
        kOpening + "( " + kTrashGuard +
        R"~( && R './it'\''s.cache 2' "$S/i" ) || { /bin/rmdir "$S" 2>/dev/null; exit 1; }; )~" +
        R"~(if [ "$(/usr/bin/stat -f %d:%i:%u:%g "$S/i" 2>/dev/null)" = '16777220:78:0:80' ] && ( )~" +
        folderGuard +
        R"~( && [ ! -e './it'\''s.cache' ] && [ ! -L './it'\''s.cache' ] && R "$S/i" './it'\''s.cache' ); then /bin/rmdir "$S"; exit 0; fi; )~" +
        "( " + kTrashGuard +
        R"~( && { { [ ! -e './it'\''s.cache 2' ] && [ ! -L './it'\''s.cache 2' ] && R "$S/i" './it'\''s.cache 2'; } || { T='./it'\''s.cache 2'" ${S##*.}"; [ ! -e "$T" ] && [ ! -L "$T" ] && R "$S/i" "$T"; }; } ); )~" +
        R"~(/bin/rmdir "$S" 2>/dev/null || echo "VELDO-HELD-4 $S"; exit 1 ) && echo VELDO-OK-4 || echo VELDO-FAIL-4)~";
    EXPECT_EQ(AdminRemover::restoreClause(cacheClause()), expected);
}

TEST(AdminRestoreText, DaemonClauseBootstrapsTheListOnlyWhenItIsBackInPlace)
{
    AdminRemover::RestoreClause c = cacheClause();
    c.index = 0;
    c.trashName = "com.example.helper.plist";
    c.folderPath = "/Library/LaunchDaemons";
    c.folderIdentity = "16777220:13:0";
    c.name = "com.example.helper.plist";
    c.bootstrapsDaemon = true;
    const std::string folderGuard =
        R"~(cd -P -- '/Library/LaunchDaemons' 2>/dev/null && [ "$(/usr/bin/stat -f %d:%i:%u . 2>/dev/null)" = '16777220:13:0' ] && [ "$(pwd -P)" = '/Library/LaunchDaemons' ])~";
    const std::string expected =
        kOpening + "( " + kTrashGuard +
        R"~( && R './com.example.helper.plist' "$S/i" ) || { /bin/rmdir "$S" 2>/dev/null; exit 1; }; )~" +
        R"~(if [ "$(/usr/bin/stat -f %d:%i:%u:%g "$S/i" 2>/dev/null)" = '16777220:78:0:80' ] && ( )~" +
        folderGuard +
        R"~( && [ ! -e './com.example.helper.plist' ] && [ ! -L './com.example.helper.plist' ] && R "$S/i" './com.example.helper.plist' ); then )~" +
        "( " + folderGuard +
        R"~( && [ "$(/usr/bin/stat -f %d:%i:%u:%g './com.example.helper.plist' 2>/dev/null)" = '16777220:78:0:80' ] && /bin/launchctl bootstrap system "$PWD"/'com.example.helper.plist' ) >/dev/null 2>&1; )~" +
        R"~(/bin/rmdir "$S"; exit 0; fi; )~" + "( " + kTrashGuard +
        R"~( && { { [ ! -e './com.example.helper.plist' ] && [ ! -L './com.example.helper.plist' ] && R "$S/i" './com.example.helper.plist'; } || { T='./com.example.helper.plist'" ${S##*.}"; [ ! -e "$T" ] && [ ! -L "$T" ] && R "$S/i" "$T"; }; } ); )~" +
        R"~(/bin/rmdir "$S" 2>/dev/null || echo "VELDO-HELD-0 $S"; exit 1 ) && echo VELDO-OK-0 || echo VELDO-FAIL-0)~";
    EXPECT_EQ(AdminRemover::restoreClause(c), expected);
}
