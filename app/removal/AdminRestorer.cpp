// The administrator restore: the script restore.
#include "app/removal/AdminRestorer.h"

#include <cerrno>
#include <optional>

#include <unistd.h>

#include "app/removal/AdminFolderChecks.h"
#include "app/removal/AdminMover.h"
#include "app/removal/AdminScriptRunner.h"
#include "app/removal/AdminScriptText.h"
#include "app/removal/TrashExecutor.h"
#include "common/HelperFileAccess.h"
#include "common/HelperPathRules.h"
#include "common/RemovalSafety.h"
#include "platform/FileManager.h"
#include "platform/MacFileSystem.h"
#include "platform/MainBundle.h"
#include "platform/SystemError.h"

namespace veldo::removal::AdminRemover {

namespace {

using platform::MacPath;

constexpr std::string_view kChangedInTrash =
    "It changed in the Trash since Veldo moved it, so Veldo won't put it back.";
constexpr std::string_view kSomethingNew = "Something new already exists at its original location.";
constexpr std::string_view kFolderGone = "Its original folder no longer exists.";
constexpr std::string_view kLinkOnTheWayBack = "A folder on the way to its original location is a "
                                               "symbolic link, so Veldo won't put it back.";
constexpr std::string_view kFolderReplaced =
    "Its original folder was replaced since Veldo moved it, so Veldo won't put it back.";
constexpr std::string_view kOtherVolumeBack = "Its original folder is on another volume, so Veldo "
                                              "won't put it back with an administrator password.";

struct Plan
{
    const RestorePoint* point;
    std::string key;
    MacPath original;
};

bool meansMissing(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

std::string systemText(int err)
{
    return platform::SystemError::posix(err).localizedDescription();
}

std::string prompt(std::size_t count)
{
    return "Veldo needs an administrator password to put " + std::to_string(count) + " item" +
           (count == 1 ? "" : "s") + " back where " + (count == 1 ? "it was" : "they were") + ".";
}

// The sentence of a former folder that could not be proven: gone only for ENOENT and ENOTDIR, a
// link only when one was found, a path the normaliser refuses as not safe, else the system's text.
std::string unverifiedFolderSentence(int err)
{
    if (meansMissing(err))
        return std::string(kFolderGone);
    if (err == ELOOP)
        return std::string(kLinkOnTheWayBack);
    if (err == EILSEQ)
        return std::string(kCannotSafelyRestore);
    return systemText(err);
}

template <typename T, typename U>
bool sameValue(const std::optional<T>& expected, U actual)
{
    return expected && static_cast<std::uint64_t>(*expected) == static_cast<std::uint64_t>(actual);
}

} // namespace

RestoreResult runRestoreScript(const std::vector<RestorePoint>& points, const MacPath& home,
                               std::stop_token stop)
{
    RestoreResult result;
    const std::string trashNormalized =
        common::RemovalSafety::normalizedPath(home.appendingPathComponent(".Trash"));
    auto trash = verifyFolder(trashNormalized);
    if (!trash || trash->status.uid != ::getuid()) {
        for (const RestorePoint& point : points)
            result.failures[point.item.url.path()] = std::string(kTrashNotUsable);
        return result;
    }
    const std::string& trashPath = trash->path;
    const auto trashDevice = static_cast<std::uint64_t>(trash->status.device);
    const std::string trashIdentity = std::to_string(trashDevice) + ":" +
                                      std::to_string(trash->status.inode) + ":" +
                                      std::to_string(trash->status.uid);
    const common::RemovalSafety::Context context{home, {platform::mainBundleURL()}, {}, false};
    if (points.empty())
        return result;

    std::vector<Plan> plans;
    std::vector<std::string> commands;
    for (const RestorePoint& point : points) {
        const std::string key = point.item.url.path();
        const MacPath s = point.trashURL.standardized();
        const MacPath o = point.item.url.standardized();
        const auto refuse = [&](std::string_view sentence) {
            result.failures[key] = std::string(sentence);
        };
        if (point.movedByHelper) {
            refuse(kCannotSafelyRestore);
            continue;
        }
        const auto holder = common::normalizePath(
            common::RemovalSafety::normalizedPath(s.deletingLastPathComponent()));
        if (!holder || *holder != trashPath || common::removalRefusal(o, context)) {
            refuse(kCannotSafelyRestore);
            continue;
        }
        if (!s.path().starts_with('/') || containsControlCharacters(s.path()) ||
            !o.path().starts_with('/') || containsControlCharacters(o.path())) {
            refuse(kCannotSafelyRestore);
            continue;
        }
        const std::string trashName = s.lastPathComponent();
        const auto entry = common::statEntry(trash->descriptor, trashName);
        if (!entry || !*entry) {
            refuse(kNoLongerInTrash);
            continue;
        }
        const common::HelperStat& item = **entry;
        if (!sameValue(point.itemDevice, item.device) || !sameValue(point.itemInode, item.inode) ||
            !sameValue(point.ownerID, item.uid) || !sameValue(point.groupID, item.gid)) {
            refuse(kChangedInTrash);
            continue;
        }
        if (platform::defaultFileManager().attributesOfItem(o)) {
            refuse(kSomethingNew);
            continue;
        }
        const MacPath folderURL = o.deletingLastPathComponent();
        if (const auto folderStatus = platform::fileStatus(folderURL, platform::FollowLinks::no);
            !folderStatus) {
            refuse(unverifiedFolderSentence(folderStatus.error().systemErrno));
            continue;
        }
        auto folder = verifyFolder(folderURL.path());
        if (!folder) {
            refuse(unverifiedFolderSentence(folder.error().systemErrno));
            continue;
        }
        if (!sameValue(point.parentDevice, folder->status.device) ||
            !sameValue(point.parentInode, folder->status.inode) ||
            !sameValue(point.parentOwnerID, folder->status.uid)) {
            refuse(kFolderReplaced);
            continue;
        }
        if (static_cast<std::uint64_t>(folder->status.device) != trashDevice ||
            static_cast<std::uint64_t>(item.device) != trashDevice) {
            refuse(kOtherVolumeBack);
            continue;
        }
        RestoreClause clause;
        clause.index = static_cast<std::int64_t>(plans.size());
        clause.trashPath = trashPath;
        clause.trashIdentity = trashIdentity;
        clause.trashDevice = std::to_string(trashDevice);
        clause.trashName = trashName;
        clause.itemIdentity = std::to_string(static_cast<std::uint64_t>(item.device)) + ":" +
                              std::to_string(item.inode) + ":" + std::to_string(item.uid) + ":" +
                              std::to_string(item.gid);
        clause.folderPath = folder->path;
        clause.folderIdentity = std::to_string(static_cast<std::uint64_t>(folder->status.device)) +
                                ":" + std::to_string(folder->status.inode) + ":" +
                                std::to_string(folder->status.uid);
        clause.name = o.lastPathComponent();
        clause.bootstrapsDaemon = TrashExecutor::isSystemDaemonPlist(o);
        commands.push_back(restoreClause(clause));
        plans.push_back(Plan{&point, key, o});
    }
    if (plans.empty())
        return result;

    const ScriptOutcome outcome = runAdministratorScript(commands, prompt(plans.size()), stop);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Plan& plan = plans[i];
        const auto index = static_cast<std::int64_t>(i);
        if (outcome.succeeded.contains(index)) {
            const auto there = platform::fileStatus(plan.original, platform::FollowLinks::no);
            if (there && sameValue(plan.point->itemDevice, there->device) &&
                sameValue(plan.point->itemInode, there->inode)) {
                result.restoredIDs.push_back(plan.key);
                continue;
            }
        }
        result.failures[plan.key] = failureMessage(index, outcome);
    }
    result.wasCancelled = outcome.wasCancelled;
    return result;
}

} // namespace veldo::removal::AdminRemover
