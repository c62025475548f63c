// AdminScriptText: the shell text of the administrator move and restore: quoting, the folder
// guard, the clause that moves one item into the Trash and the one that puts it back.
//
// Every value written into shell text must have been proven first (an absolute Mac path with no
// control character, its folder verified without following links) and is then single-quoted
// here. Absolute Mac paths go through AdminRemover::shellPath and shellQuotedPath, which put the
// Mac root's host path in front, quoted, so with an empty Mac root the text is exactly what runs
// on a Mac. All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veldo::removal::AdminRemover {

// The value between single quotes, each single quote inside written as '\'' .
std::string shellQuoted(std::string_view value);

// True when the text holds a character of the Unicode category Cc (U+0000-U+001F,
// U+007F-U+009F); format characters and line or paragraph separators pass.
bool containsControlCharacters(std::string_view text);

// Shell text that succeeds only when the shell can enter `folder` (a Mac path) with cd -P, the
// folder it then stands in has `identity` ("device:inode", or "device:inode:uid" with
// `includeOwner`), and its physical path is the folder's: a folder swapped or replaced by a link
// since it was examined fails it.
std::string guardClause(std::string_view folder, std::string_view identity, bool includeOwner);

// What the clause of one item is made of; identities are decimal "device:inode" strings.
struct MoveClause
{
    std::int64_t index = 0;      // the item's marker index
    std::string parentPath;      // the parent's normalised Mac path
    std::string parentIdentity;  // device:inode of the parent
    std::string name;            // the item's last path component
    std::string itemIdentity;    // device:inode of the item
    std::string trashPath;       // the Trash's Mac path
    std::string trashIdentity;   // device:inode:uid of the Trash
    std::string trashDevice;     // the Trash's device alone
    std::string destinationName; // the free name chosen in the Trash
    bool bootsOutDaemon = false; // a property list directly in "/Library/LaunchDaemons"
};

// The item's whole clause, opened with "( " and closed by resultClause(index): a root-only
// staging folder on the Trash's volume, the item renamed into it from inside its verified
// parent while its identity still matches, then renamed into the verified Trash under a free
// name, else put back under its own name. A daemon's property list is booted out of the system
// domain before the move and bootstrapped again whenever the item is back in its place.
std::string moveClause(const MoveClause& clause);

// What the restore clause of one item is made of; identities are decimal strings.
struct RestoreClause
{
    std::int64_t index = 0;        // the item's marker index
    std::string trashPath;         // the Trash's normalised Mac path
    std::string trashIdentity;     // device:inode:uid of the Trash
    std::string trashDevice;       // the Trash's device alone
    std::string trashName;         // the item's name in the Trash
    std::string itemIdentity;      // device:inode:uid:gid of the item
    std::string folderPath;        // the normalised Mac path of the folder it goes back to
    std::string folderIdentity;    // device:inode:uid of that folder
    std::string name;              // its name there
    bool bootstrapsDaemon = false; // a property list going back into "/Library/LaunchDaemons"
};

// The item's restore clause, opened with "( " and closed by resultClause(index): the item renamed
// from the verified Trash into a root-only staging folder on the Trash's volume, then, while its
// identity still matches, into its verified former folder where nothing holds its name; a
// daemon's property list is then bootstrapped into the system domain. When that fails it goes
// back into the Trash, under its Trash name or, when that was taken meanwhile, that name + " " +
// the staging folder's random suffix, and the clause fails.
std::string restoreClause(const RestoreClause& clause);

} // namespace veldo::removal::AdminRemover
