// The protected-location test: folders the leftover scan and the orphan scanner never offer.
//
// Pure functions of Mac paths (no file is read), safe from any thread. The tables are built once
// on first use and only read afterwards.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// Absolute system folders (lower-case) that are never offered themselves.
const std::unordered_set<std::string>& systemPaths();
// Folders relative to the home folder (lower-case) that are never offered themselves.
const std::unordered_set<std::string>& homeFolderNames();
// Folders relative to a Library folder or an access root (lower-case) never offered themselves.
const std::unordered_set<std::string>& libraryFolderNames();

// True when `candidate` must never be offered: the root, anything under /System or under /usr
// outside /usr/local ("/usr/local" itself included), an ancestor of (or equal to) the home
// folder or one of `roots`, a system folder, one of the home folder's standard folders, or a
// standard folder of /Library, of the home's Library or of a root. Only those folders
// themselves are protected, not what lies inside them. Letter case is ignored.
bool isProtectedLocation(const platform::MacPath& candidate,
                         const std::vector<platform::MacPath>& roots,
                         const platform::MacPath& home);

} // namespace veldo::leftovers::LeftoverScanner
