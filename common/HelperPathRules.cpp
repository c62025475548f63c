// The helper's path rules: normalisation, names, managed locations and the location verdicts.
#include "common/HelperPathRules.h"

#include <algorithm>
#include <cerrno>

#include "base/CompilerWarnings.h"
#include "common/RemovalSafety.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::common {

namespace {

using platform::MacPath;

constexpr std::size_t kMaximumPathBytes = 1023;
constexpr std::size_t kMaximumNameBytes = 255;

constexpr std::string_view kUnidentifiable =
    "Veldo can't safely identify this location, so it wasn't touched.";
constexpr std::string_view kAlreadyInTrash = "This item is already in the Trash.";
constexpr std::string_view kOutsideManaged =
    "This location is outside the folders the helper manages.";
constexpr std::string_view kAppleOwned =
    "This is one of Apple's files, so moving it needs your administrator password.";
constexpr std::string_view kLinkedFolder = "A folder on the way to this item is a symbolic link.";
constexpr std::string_view kNotDirectlyInTrash =
    "The destination isn't directly inside your Trash.";
constexpr std::string_view kOnlyDirectTrashItems =
    "Only items directly inside your Trash can be put back.";
constexpr std::string_view kCannotPutBack = "Veldo can't safely put this item back.";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUTF8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (k == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// `path` begins with `prefix` + "/" and has at least one character after it.
bool liesStrictlyInside(std::string_view path, std::string_view prefix)
{
    return path.size() > prefix.size() + 1 && path.starts_with(prefix) &&
           path[prefix.size()] == '/';
}

// Swift compares Strings by canonical equivalence.
bool canonicallyEqual(std::string_view a, std::string_view b)
{
    return a == b || platform::decomposed(a) == platform::decomposed(b);
}

// The normalised path of the home folder, standardised first; none when unusable or "/".
std::optional<std::string> normalizedHome(const MacPath& home)
{
    auto normalized = normalizePath(home.standardized().path());
    if (!normalized || *normalized == "/")
        return std::nullopt;
    return normalized;
}

RemovalSafety::Context safetyContext(const std::string& home,
                                     const std::vector<MacPath>& protectedBundles)
{
    RemovalSafety::Context context;
    context.homeDirectory = MacPath(home);
    context.protectedBundles = protectedBundles;
    context.inspectsDisk = false;
    return context;
}

// What follows the home folder's own spelling in `path`: the part after `home` + "/", or none
// when `path` does not lie strictly inside it. Only this prefix is compared exactly: on a
// case-sensitive file system "/Users/ab" and "/Users/AB" are two folders, and may be two
// accounts' homes, so a folded comparison would take another account's files for the caller's.
std::optional<std::string_view> belowHome(std::string_view path, std::string_view home)
{
    if (!liesStrictlyInside(path, home))
        return std::nullopt;
    return path.substr(home.size() + 1);
}

// `path` is the home's Trash or lies inside it: the home spelt exactly, then ".Trash" (folded).
bool isInHomeTrash(std::string_view path, std::string_view home)
{
    const auto below = belowHome(path, home);
    if (!below)
        return false;
    const std::string folded = foldedForComparison(*below);
    return folded == ".trash" || folded.starts_with(".trash/");
}

} // namespace

std::string foldedForComparison(std::string_view text)
{
    return platform::foldForComparison(text);
}

std::optional<std::string> normalizePath(std::string_view path)
{
    if (path.empty() || path.front() != '/')
        return std::nullopt;
    if (path.size() > kMaximumPathBytes || !isValidUTF8(path) || containsControlCharacter(path))
        return std::nullopt;
    const std::vector<std::string_view> components = platform::splitPathComponents(path);
    for (const std::string_view c : components) {
        if (c == "." || c == ".." || c.size() > kMaximumNameBytes)
            return std::nullopt;
    }
    std::string result;
    result.reserve(path.size() + 8);
    if (!components.empty() &&
        (components[0] == "var" || components[0] == "etc" || components[0] == "tmp"))
        result.append("/private");
    for (const std::string_view c : components) {
        result.push_back('/');
        result.append(c);
    }
    VELDO_GCC12_IGNORE_STRING_COPY
    if (result.empty())
        result = "/";
    VELDO_GCC12_IGNORE_END
    return result;
}

bool containsControlCharacter(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F)
            return true;
        // U+0080-U+009F are 0xC2 0x80-0x9F in UTF-8.
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F)
                return true;
        }
    }
    return false;
}

bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.size() <= kMaximumNameBytes &&
           isValidUTF8(name) && !containsControlCharacter(name);
}

std::string concatenateBytes(std::string_view prefix, std::string_view name)
{
    name = name.substr(0, name.find('\0'));
    if (prefix.empty())
        return std::string(name);
    std::string path;
    path.reserve(prefix.size() + 1 + name.size());
    path.append(prefix).append("/").append(name);
    return path;
}

bool isLaunchDaemonPlist(std::string_view path)
{
    const auto normalized = normalizePath(path);
    if (!normalized)
        return false;
    const MacPath p(*normalized);
    const std::string name = p.lastPathComponent();
    if (foldedForComparison(p.deletingLastPathComponent().path()) != "/library/launchdaemons")
        return false;
    if (!isPlainName(name) || !foldedForComparison(name).ends_with(".plist"))
        return false;
    const auto length = platform::characterCount(name);
    return length && *length > 6;
}

bool isManagedLocation(std::string_view path, std::string_view home)
{
    if (belowHome(path, home))
        return true;
    const std::string p = foldedForComparison(path);
    for (const std::string_view root : managedRoots) {
        // Another spelling of the shared folder may be an account's home.
        if (root == "/users/shared" ? liesStrictlyInside(path, kSharedFolder)
                                    : liesStrictlyInside(p, root))
            return true;
    }
    const std::vector<std::string_view> c = platform::splitPathComponents(p);
    return c.size() > 3 && c[0] == "volumes" && (c[2] == "applications" || c[2] == "library");
}

bool isAppleOwnedPath(std::string_view path)
{
    const std::string folded = foldedForComparison(path);
    const std::vector<std::string_view> c = platform::splitPathComponents(folded);
    bool afterLibrary = false;
    for (const std::string_view component : c) {
        if (afterLibrary && (component == "apple" || component.starts_with("com.apple.")))
            return true;
        if (component == "library")
            afterLibrary = true;
    }
    return false;
}

bool isDirectTrashItem(std::string_view path, std::string_view home)
{
    const MacPath p(path);
    const std::string name = p.lastPathComponent();
    const MacPath parent = p.deletingLastPathComponent();
    const auto below = belowHome(parent.path(), home);
    if (!below || foldedForComparison(*below) != ".trash")
        return false;
    return isPlainName(name) &&
           !foldedForComparison(name).starts_with(foldedForComparison(kStagingPrefix));
}

LocationVerdict checkMoveLocation(std::string_view source, std::string_view destination,
                                  const MacPath& home, const std::vector<MacPath>& protectedBundles,
                                  bool checkLinkedFolders)
{
    const auto item = normalizePath(source);
    if (!item || *item == "/")
        return LocationVerdict::refused(std::string(kUnidentifiable));
    const auto target = normalizePath(destination);
    if (!target)
        return LocationVerdict::refused(std::string(kUnidentifiable));
    const auto homePath = normalizedHome(home);
    if (!homePath)
        return LocationVerdict::refused(std::string(kUnidentifiable));

    if (isInHomeTrash(*item, *homePath))
        return LocationVerdict::refused(std::string(kAlreadyInTrash));
    if (const auto refusal =
            removalRefusal(MacPath(*item), safetyContext(*homePath, protectedBundles)))
        return LocationVerdict::refused(removalRefusalMessage(*refusal));
    if (!isManagedLocation(*item, *homePath))
        return LocationVerdict::notManaged(std::string(kOutsideManaged));
    if (isAppleOwnedPath(*item))
        return LocationVerdict::notManaged(std::string(kAppleOwned));
    if (checkLinkedFolders &&
        !canonicallyEqual(RemovalSafety::normalizedPath(MacPath(*item)), *item))
        return LocationVerdict::notManaged(std::string(kLinkedFolder));
    if (!isDirectTrashItem(*target, *homePath))
        return LocationVerdict::refused(std::string(kNotDirectlyInTrash));
    return LocationVerdict::allowed();
}

LocationVerdict checkRestoreLocation(std::string_view trashPath, std::string_view originalPath,
                                     const MacPath& home,
                                     const std::vector<MacPath>& protectedBundles)
{
    const auto inTrash = normalizePath(trashPath);
    const auto original = normalizePath(originalPath);
    if (!inTrash || !original || *original == "/")
        return LocationVerdict::refused(std::string(kUnidentifiable));
    const auto homePath = normalizedHome(home);
    if (!homePath)
        return LocationVerdict::refused(std::string(kUnidentifiable));

    if (!isDirectTrashItem(*inTrash, *homePath))
        return LocationVerdict::refused(std::string(kOnlyDirectTrashItems));
    if (isInHomeTrash(*original, *homePath))
        return LocationVerdict::refused(std::string(kCannotPutBack));
    if (removalRefusal(MacPath(*original), safetyContext(*homePath, protectedBundles)))
        return LocationVerdict::refused(std::string(kCannotPutBack));
    if (!isManagedLocation(*original, *homePath))
        return LocationVerdict::notManaged(std::string(kOutsideManaged));
    if (isAppleOwnedPath(*original))
        return LocationVerdict::notManaged(std::string(kAppleOwned));
    return LocationVerdict::allowed();
}

bool accountHomeMatches(const HelperStagingRecord& record)
{
    const auto home = platform::homeDirectoryForUser(record.uid);
    if (!home || home->empty())
        return false;
    const auto normalized = normalizePath(home->standardized().path());
    if (!normalized || !canonicallyEqual(*normalized, record.home))
        return false;
    const auto status = platform::fileStatus(MacPath(*normalized), platform::FollowLinks::no);
    return status || status.error().systemErrno != ENOENT;
}

} // namespace veldo::common
