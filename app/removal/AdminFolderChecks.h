// AdminFolderChecks: what the administrator move and restore prove about folders before any of
// their paths goes into shell text, and the free name an item gets in the Trash.
//
// Both read the disk through the Mac root, block, keep no state and are safe on any thread.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "app/removal/VerifiedFolder.h"
#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

// Proves that the folder `path` (a Mac path) is reached from "/" without any symbolic link: its
// links resolved must name a folder (links followed, the status read must succeed), the two
// normalised spellings must be equal ("/var", "/etc" and "/tmp" count as their "/private"
// places), and the normalised path is then opened one component at a time without following
// links and its status read through the descriptor. The failure's systemErrno says why:
// - ELOOP: a link was found (the spellings differ, or a step met a link);
// - ENAMETOOLONG: the path or a component is too long for the normaliser;
// - EILSEQ: the path is not one the normaliser accepts (not UTF-8, a control character);
// - otherwise the failing call's errno (ENOENT, ENOTDIR, EACCES, …).
Result<VerifiedFolder> verifyFolder(std::string_view path);

// The Trash path the item `item` gets in the Trash folder `trashPath`: its own name, else
// "<base> 2.<ext>", "<base> 3.<ext>", … (platform::numberedName), the first that no entry of the
// Trash holds (looked up case-insensitively, a dangling link included) and whose lowercased form
// `reserved` does not hold. The chosen path, lowercased, goes into `reserved`.
std::string uniqueTrashDestination(const platform::MacPath& item, std::string_view trashPath,
                                   std::set<std::string>& reserved);

} // namespace veldo::removal::AdminRemover
