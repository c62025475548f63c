// Shell text of the administrator move: quoting, folder guards and the item clause.
#include "app/removal/AdminScriptText.h"

#include "app/removal/AdminScriptRunner.h"
#include "common/HelperPathRules.h"

namespace veldo::removal::AdminRemover {

namespace {

std::string tool(const char* path)
{
    return shellPath(platform::MacPath(path));
}

// "( ", the R (rename) and I (identity) functions, the staging folder S made on the Trash's
// volume (the clause ends when it is on any other), as every item clause opens.
std::string clauseOpening(std::string_view trashDevice)
{
    const std::string stat = tool("/usr/bin/stat");
    return "( R() { " + tool("/usr/bin/env") + " -i " + tool("/usr/bin/perl") +
           " -e 'rename($ARGV[0], $ARGV[1]) or exit 1' -- \"$1\" \"$2\" 2>/dev/null; }; I() { " +
           stat + " -f %d:%i \"$1\" 2>/dev/null; }; S=$(" + tool("/usr/bin/mktemp") + " -d " +
           tool("/private/var/tmp/veldo.XXXXXX") + " 2>/dev/null) || exit 1; [ \"$(" + stat +
           " -f %d \"$S\" 2>/dev/null)\" = " + shellQuoted(trashDevice) + " ] || { " +
           tool("/bin/rmdir") + " \"$S\"; exit 1; }; ";
}

} // namespace

std::string shellQuoted(std::string_view value)
{
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'')
            quoted.append("'\\''");
        else
            quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

bool containsControlCharacters(std::string_view text)
{
    return common::containsControlCharacter(text);
}

std::string guardClause(std::string_view folder, std::string_view identity, bool includeOwner)
{
    const std::string shellFolder = shellQuotedPath(platform::MacPath(folder));
    return "cd -P -- " + shellFolder + " 2>/dev/null && [ \"$(" + tool("/usr/bin/stat") + " -f " +
           (includeOwner ? "%d:%i:%u" : "%d:%i") + " . 2>/dev/null)\" = " + shellQuoted(identity) +
           " ] && [ \"$(pwd -P)\" = " + shellFolder + " ]";
}

std::string moveClause(const MoveClause& c)
{
    const std::string parentGuard = guardClause(c.parentPath, c.parentIdentity, false);
    const std::string item = shellQuoted("./" + c.name);
    const std::string itemGuard =
        parentGuard + " && [ \"$(I " + item + ")\" = " + shellQuoted(c.itemIdentity) + " ]";
    const std::string trashGuard = guardClause(c.trashPath, c.trashIdentity, true);
    const std::string destination = shellQuoted("./" + c.destinationName);
    const std::string rmdir = tool("/bin/rmdir");
    const std::string quotedName = shellQuoted(c.name);
    // Boots the daemon back in, only when the item is back in its place with its own identity.
    const std::string bootstrap = "( " + itemGuard + " && " + tool("/bin/launchctl") +
                                  " bootstrap system \"$PWD\"/" + quotedName +
                                  " ) >/dev/null 2>&1; ";

    std::string text = clauseOpening(c.trashDevice);
    if (c.bootsOutDaemon) {
        // B is set only when the bootout succeeded, so only then is the daemon booted back in.
        text += "( " + itemGuard + " && " + tool("/bin/launchctl") + " bootout system \"$PWD\"/" +
                quotedName + " ) >/dev/null 2>&1 && B=1; ";
        text += "( " + itemGuard + " && R " + item + " \"$S/i\" ) || { [ \"$B\" = 1 ] && " +
                bootstrap + rmdir + " \"$S\" 2>/dev/null; exit 1; }; ";
    } else {
        text += "( " + itemGuard + " && R " + item + " \"$S/i\" ) || { " + rmdir +
                " \"$S\" 2>/dev/null; exit 1; }; ";
    }
    text += "if [ \"$(I \"$S/i\")\" = " + shellQuoted(c.itemIdentity) + " ] && ( " + trashGuard +
            " && [ ! -e " + destination + " ] && [ ! -L " + destination + " ] && R \"$S/i\" " +
            destination + " ); then " + rmdir + " \"$S\"; exit 0; fi; ";
    text += "( " + parentGuard + " && [ ! -e " + item + " ] && [ ! -L " + item +
            " ] && R \"$S/i\" " + item + " ); ";
    if (c.bootsOutDaemon)
        text += "[ \"$B\" = 1 ] && " + bootstrap;
    text += resultClause(c.index);
    return text;
}

std::string restoreClause(const RestoreClause& c)
{
    const std::string trashGuard = guardClause(c.trashPath, c.trashIdentity, true);
    const std::string folderGuard = guardClause(c.folderPath, c.folderIdentity, true);
    const std::string inTrash = shellQuoted("./" + c.trashName);
    const std::string back = shellQuoted("./" + c.name);
    const std::string itemIdentity = shellQuoted(c.itemIdentity);
    const std::string stat = tool("/usr/bin/stat");
    const std::string rmdir = tool("/bin/rmdir");

    std::string text = clauseOpening(c.trashDevice);
    text += "( " + trashGuard + " && R " + inTrash + " \"$S/i\" ) || { " + rmdir +
            " \"$S\" 2>/dev/null; exit 1; }; ";
    text += "if [ \"$(" + stat + " -f %d:%i:%u:%g \"$S/i\" 2>/dev/null)\" = " + itemIdentity +
            " ] && ( " + folderGuard + " && [ ! -e " + back + " ] && [ ! -L " + back +
            " ] && R \"$S/i\" " + back + " ); then ";
    if (c.bootstrapsDaemon) {
        // Booted in only while the list in its place is still the item put back.
        text += "( " + folderGuard + " && [ \"$(" + stat + " -f %d:%i:%u:%g " + back +
                " 2>/dev/null)\" = " + itemIdentity + " ] && " + tool("/bin/launchctl") +
                " bootstrap system \"$PWD\"/" + shellQuoted(c.name) + " ) >/dev/null 2>&1; ";
    }
    text += rmdir + " \"$S\"; exit 0; fi; ";
    text += "( " + trashGuard + " && { { [ ! -e " + inTrash + " ] && [ ! -L " + inTrash +
            " ] && R \"$S/i\" " + inTrash + "; } || { T=" + inTrash +
            "\" ${S##*.}\"; [ ! -e \"$T\" ] && [ ! -L \"$T\" ] && R \"$S/i\" \"$T\"; }; } ); ";
    text += resultClause(c.index);
    return text;
}

} // namespace veldo::removal::AdminRemover
