// Folder proofs and Trash names of the administrator move.
#include "app/removal/AdminFolderChecks.h"

#include <cerrno>

#include "app/removal/AdminScriptText.h"
#include "common/HelperFileAccess.h"
#include "common/HelperPathRules.h"
#include "platform/MacFileSystem.h"
#include "platform/NumberedName.h"
#include "platform/Unicode.h"

namespace veldo::removal::AdminRemover {

namespace {

constexpr std::size_t kMaximumPathBytes = 1023;
constexpr std::size_t kMaximumNameBytes = 255;

// Why the normaliser refused the path.
int normaliserErrno(std::string_view path)
{
    if (path.size() > kMaximumPathBytes)
        return ENAMETOOLONG;
    for (const std::string_view component : platform::splitPathComponents(path)) {
        if (component.size() > kMaximumNameBytes)
            return ENAMETOOLONG;
    }
    return EILSEQ;
}

Error failure(int err, std::string_view path)
{
    return Error::fromErrno(err, std::string(path));
}

} // namespace

Result<VerifiedFolder> verifyFolder(std::string_view path)
{
    const platform::MacPath resolved = platform::resolvingSymlinks(platform::MacPath(path));
    const auto followed = platform::fileStatus(resolved, platform::FollowLinks::yes);
    if (!followed)
        return failure(followed.error().systemErrno, path);
    if (followed->type != platform::FileType::directory)
        return failure(ENOTDIR, path);
    const auto normalized = common::normalizePath(path);
    if (!normalized)
        return failure(normaliserErrno(path), path);
    const auto normalizedResolved = common::normalizePath(resolved.path());
    if (!normalizedResolved || *normalizedResolved != *normalized)
        return failure(ELOOP, path);
    if (!normalized->starts_with('/') || containsControlCharacters(*normalized))
        return failure(EILSEQ, path);
    auto descriptor = common::openPathBeneath(*normalized, common::OpenBeneath{false, false});
    if (!descriptor)
        return failure(descriptor.error().systemErrno, path);
    auto status = common::statDescriptor(*descriptor);
    if (!status)
        return failure(status.error().systemErrno, path);
    if (!status->isDirectory())
        return failure(ENOTDIR, path);
    return VerifiedFolder{*normalized, *status, std::move(*descriptor)};
}

std::string uniqueTrashDestination(const platform::MacPath& item, std::string_view trashPath,
                                   std::set<std::string>& reserved)
{
    const platform::MacPath trash(trashPath);
    const std::string name = item.lastPathComponent();
    auto taken = [&](const std::string& candidateName) {
        const std::string candidate = trash.appendingPathComponent(candidateName).path();
        return reserved.contains(platform::lowercased(candidate)) ||
               platform::findEntryCaseInsensitive(trash, candidateName).has_value();
    };
    std::string chosen = name;
    for (int k = 2; taken(chosen); ++k)
        chosen = platform::numberedName(name, k);
    std::string destination = trash.appendingPathComponent(chosen).path();
    reserved.insert(platform::lowercased(destination));
    return destination;
}

} // namespace veldo::removal::AdminRemover
