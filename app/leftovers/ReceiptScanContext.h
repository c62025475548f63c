// ReceiptScanContext: the shared folders that installer-receipt paths are judged against.
//
// Built once per reading of the receipts from the user's home folder; read only afterwards.
// Pure functions of path strings (no file is read), letter case counts; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/leftovers/ReceiptPaths.h"

namespace veldo::leftovers {

struct ReceiptScanContext
{
    // The home folder path, trimmed of trailing "/".
    std::string homePath;
    // Shared folders that are never items themselves; their direct children can be.
    ReceiptPaths::PathSet protectedPaths;
    // Shared plug-in and manual-page folders whose direct subfolders are shared too.
    ReceiptPaths::PathSet categoryFolderPaths;
    // Every protected or category folder, the home folder and its Library, and all their
    // ancestors up to "/" included.
    ReceiptPaths::PathSet ancestorPaths;
};

// The context for the home folder `homePath`: protected are "/Applications",
// "/Applications/Utilities", "/Library", "/Users/Shared", "/opt", the home's "Applications",
// the standard folders of "/Library" and of the home's "Library", and each package prefix
// ("/usr/local", "/opt/homebrew", "/opt/local") with its standard folders. The home's "Library"
// itself is not protected.
ReceiptScanContext makeReceiptScanContext(std::string_view homePath);

// Whether `path` may never be an item nor lead to one: a protected folder or an ancestor of
// one, a direct subfolder of a category folder, or a path with a component that is "apple" or
// begins with "com.apple." (letter case ignored; below the home folder only the components
// after the home folder count).
bool isExcludedReceiptPath(std::string_view path, const ReceiptScanContext& context);

// The item that owns `path`: the path itself or its ancestor that lies directly inside a
// protected folder or directly inside a subfolder of a category folder. None for "/" and for
// paths outside every protected folder.
std::optional<std::string> topmostOwnedPath(std::string_view path,
                                            const ReceiptScanContext& context);

} // namespace veldo::leftovers
