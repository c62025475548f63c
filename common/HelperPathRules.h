// HelperPathRules: how the helper daemon spells and judges the paths it is asked to act on as
// root: the normaliser, single-name checks, the Trash collision name, the managed locations,
// Apple's own files, direct Trash items, and the verdicts asked before a move and a put-back.
//
// Paths are Mac paths. Comparisons are between folded strings (foldedForComparison: canonical
// decomposition and case folding without a locale), so "/Library" and "/library" are one place,
// as are precomposed and decomposed accents. The exceptions are the caller's home folder and the
// shared folder: whether a path lies inside the home (managed, in its Trash) is decided by the
// home's exact spelling, since on Linux's case-sensitive file systems "/Users/ab" and "/Users/AB"
// can be the homes of two accounts; what follows the home (".Trash") is folded as everything
// else. Likewise only "/Users/Shared" as spelt is the shared folder: every home in a Mac root is
// "/Users/<login name>", and an account "shared" (or "SHARED", or any name that folds so) has its
// home at another spelling of it. Everything here is
// pure, except that the two verdicts read the disk through the removal-safety policy (links of
// parent folders, inside the Mac root) and accountHomeMatches reads the user database and the
// home folder's status. Nothing throws; all functions are thread-safe.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/HelperStagingRecord.h"
#include "common/LocationVerdict.h"
#include "platform/MacPath.h"
#include "platform/NumberedName.h"

namespace veldo::common {

// The folded roots below which the helper manages items, in the order they are tried. The shared
// folder's, "/users/shared", stands for kSharedFolder as spelt.
inline constexpr std::array<std::string_view, 6> managedRoots = {
    "/applications", "/library", "/usr/local", "/opt", "/users/shared", "/private/var/db/receipts"};
inline constexpr std::string_view kSharedFolder = "/Users/Shared";

// The comparison form of a path or name: NFD, then case folded without a locale.
std::string foldedForComparison(std::string_view text);

// The one spelling of `path`, or none when it is unsafe: it must begin with "/", be valid UTF-8
// of at most 1,023 bytes, hold no control character, and have no "." or ".." component and no
// component of 256 bytes or more. Empty pieces vanish ("/Users//a/" is "/Users/a"; slashes only
// give "/"), and "private" is put in front of a first component spelled exactly "var", "etc" or
// "tmp". Case and Unicode form are kept as written.
std::optional<std::string> normalizePath(std::string_view path);

// True when the text holds a Unicode control character (general category Cc: U+0000-U+001F,
// U+007F-U+009F). Checks bytes as UTF-8.
bool containsControlCharacter(std::string_view text);

// True for a name usable as one path component: not empty, not "." or "..", no "/", valid UTF-8
// of at most 255 bytes, no control character.
bool isPlainName(std::string_view name);

// The name for the n-th item of one name in the Trash (platform/NumberedName.h): the app's
// Trash and the helper's name free entries alike.
using platform::numberedName;

// The relative path of a child in an inventory walk: the child's name bytes up to their first
// zero byte when `prefix` is empty, else `prefix`, the byte "/" and those name bytes. Pure; bytes
// need not be UTF-8.
std::string concatenateBytes(std::string_view prefix, std::string_view name);

// True when the normalised path is a property list directly in "/Library/LaunchDaemons": a plain
// name of more than six characters ending in ".plist" (folded).
bool isLaunchDaemonPlist(std::string_view path);

// True when the (normalised) path lies strictly inside the home folder (its prefix spelt exactly
// as `home`), inside one of managedRoots (the shared folder's spelt exactly as kSharedFolder), or
// inside another volume's Applications or Library folder.
bool isManagedLocation(std::string_view path, std::string_view home);

// True when a component after the path's first "Library" is "Apple" or begins with
// "com.apple." (folded).
bool isAppleOwnedPath(std::string_view path);

// True when the path names an entry directly in the home's ".Trash" (the home spelt exactly as
// `home`, ".Trash" folded) with a plain name that is not one of the helper's staging folders
// (kStagingPrefix, folded).
bool isDirectTrashItem(std::string_view path, std::string_view home);

// May the helper move `source` to `destination` for the user whose home is `home`? Refused
// with "Veldo can't safely identify this location, so it wasn't touched." for paths it cannot
// normalise (or "/"), "This item is already in the Trash." for anything in the home's Trash, the
// removal-safety policy's own sentence when the policy refuses the source (asked with the
// normalised home and `protectedBundles`, no installed apps, no disk inspection), and "The
// destination isn't directly inside your Trash." for any other destination. Not managed
// ("This location is outside the folders the helper manages.", "This is one of Apple's files,
// so moving it needs your administrator password.", and with `checkLinkedFolders` "A folder on
// the way to this item is a symbolic link.") when the helper leaves it to the administrator path.
// The checks run in that order on the normalised source; the first that applies answers.
LocationVerdict checkMoveLocation(std::string_view source, std::string_view destination,
                                  const platform::MacPath& home,
                                  const std::vector<platform::MacPath>& protectedBundles,
                                  bool checkLinkedFolders);

// May the helper put the item at `trashPath` back to `originalPath`? Refused with the
// identification sentence for paths it cannot normalise (or an original path or home of "/"),
// "Only items directly inside your Trash can be put back." for a Trash path that is not a direct
// Trash item, and "Veldo can't safely put this item back." for an original path in the Trash or
// one the removal-safety policy refuses. Not managed as for a move (no linked-folder check: the
// mover reopens the original folder without following links).
LocationVerdict checkRestoreLocation(std::string_view trashPath, std::string_view originalPath,
                                     const platform::MacPath& home,
                                     const std::vector<platform::MacPath>& protectedBundles);

// Does the journal record's account still exist with the same home folder? The account's home
// (platform::homeDirectoryForUser: "/Users/<login name>" inside a Mac root, the user database's
// entry otherwise), standardised and normalised, must be the record's `home` (canonically
// equivalent), and must not be missing on disk: a status that cannot be read for another reason
// counts as existing. False when there is no such account or the lookup fails.
bool accountHomeMatches(const HelperStagingRecord& record);

} // namespace veldo::common
