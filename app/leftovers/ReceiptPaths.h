// ReceiptPaths: the plain-text path rules that the installer-receipt reader reasons with.
//
// Receipt paths are absolute Mac path strings, compared exactly (letter case counts). Nothing
// here touches the disk. Pure and thread-safe.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace veldo::leftovers::ReceiptPaths {

// Hashes a path given as any string type, so that sets look paths up without copying them.
struct PathHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const noexcept
    {
        return std::hash<std::string_view>{}(path);
    }
};

// A set of paths, looked up by std::string_view.
using PathSet = std::unordered_set<std::string, PathHash, std::equal_to<>>;

// The text before the last "/", or "/" when that "/" is the first character or there is none.
std::string_view parent(std::string_view path);

// The text after the last "/" (the whole text when there is none).
std::string_view lastComponent(std::string_view path);

// The path without trailing "/" characters (while it is longer than one character); "" gives
// "/".
std::string trimmed(std::string_view path);

// Whether `path` lies below `folder`: it begins with `folder` followed by "/" (for the folder
// "/": any path longer than one character that begins with "/"). A path is not below itself.
bool liesBelow(std::string_view path, std::string_view folder);

// `folder` followed by "/" and `relative` ("/" + `relative` for the folder "/").
std::string joined(std::string_view folder, std::string_view relative);

// Whether the name, lower-cased without a locale, ends with ".app".
bool isAppBundleName(std::string_view name);

// Whether the name, lower-cased without a locale, is "apple" or begins with "com.apple.".
bool isAppleName(std::string_view name);

} // namespace veldo::leftovers::ReceiptPaths
