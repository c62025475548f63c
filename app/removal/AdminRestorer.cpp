// The administrator restore: the entry, the helper batch and the script restore.
#include "app/removal/AdminRestorer.h"

#include <cerrno>
#include <map>
#include <optional>

#include <unistd.h>

#include "app/removal/AdminFolderChecks.h"
#include "app/removal/AdminMover.h"
#include "app/removal/AdminScriptRunner.h"
#include "app/removal/AdminScriptText.h"
#include "app/removal/PrivilegedHelper.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "app/removal/TrashExecutor.h"
#include "common/HelperFileAccess.h"
#include "common/HelperPathRules.h"
#include "common/RemovalSafety.h"
#include "platform/FileManager.h"
#include "platform/MacFileSystem.h"
#include "platform/MainBundle.h"
#include "platform/SystemError.h"
#include "platform/UserDefaults.h"

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
    if (platform::meansMissing(err))
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

// Only a missing entry is gone; an unreadable one is not.
bool isGone(const MacPath& path)
{
    const auto attributes = platform::defaultFileManager().attributesOfItem(path);
    if (attributes)
        return false;
    return platform::meansMissing(attributes.error());
}

// The sentence of a helper result that did not put the point back.
std::string helperFailure(const common::VeldoHelperItemResult& answer)
{
    using Outcome = common::VeldoHelperItemResult::Outcome;
    using Reason = common::VeldoHelperItemResult::Reason;
    switch (answer.outcome) {
    case Outcome::missing:
        return std::string(kNoLongerInTrash);
    case Outcome::failed:
        return answer.message.value_or("It couldn't be put back.");
    default:
        break;
    }
    if (answer.reason == Reason::notManaged || answer.reason == Reason::stopped)
        return answer.message ? *answer.message + " Try Undo again." : std::string(kHelperTryAgain);
    return answer.message.value_or(
        "Veldo's helper couldn't verify this item, so it wasn't put back.");
}

// Whether a helper result that did not put the point back leaves it for another Undo: the
// helper said so, or it did not take the item (not managed, stopped).
bool helperRetryable(const common::VeldoHelperItemResult& answer)
{
    using Outcome = common::VeldoHelperItemResult::Outcome;
    using Reason = common::VeldoHelperItemResult::Reason;
    if (answer.retryable.value_or(false))
        return true;
    return answer.outcome == Outcome::notHandled &&
           (answer.reason == Reason::notManaged || answer.reason == Reason::stopped);
}

} // namespace

std::pair<std::vector<RestorePoint>, std::vector<RestorePoint>>
partitionByMover(const std::vector<RestorePoint>& points)
{
    std::pair<std::vector<RestorePoint>, std::vector<RestorePoint>> parts;
    for (const RestorePoint& point : points)
        (point.movedByHelper ? parts.first : parts.second).push_back(point);
    return parts;
}

std::pair<RestoreResult, std::vector<RestorePoint>>
restoreWithHelper(const std::vector<RestorePoint>& points, std::stop_token stop)
{
    RestoreResult result;
    std::vector<RestorePoint> left;
    if (points.empty())
        return {result, left};
    common::VeldoHelperRestoreRequest request;
    for (const RestorePoint& point : points)
        request.items.push_back(
            {point.trashURL.standardized().path(), point.item.url.standardized().path()});
    auto take = [&](const PrivilegedHelper::BatchResponse& response, std::size_t begin,
                    std::size_t end) {
        switch (response.kind) {
        case PrivilegedHelper::BatchResponse::Kind::results: {
            std::map<std::string, const common::VeldoHelperItemResult*> byPath;
            for (const common::VeldoHelperItemResult& answer : response.results)
                byPath[answer.path] = &answer; // the later result for a path counts
            for (std::size_t i = begin; i < end; ++i) {
                const std::string key = points[i].item.url.path();
                const auto found = byPath.find(request.items[i].trashPath);
                if (found == byPath.end())
                    left.push_back(points[i]);
                else if (found->second->outcome == common::VeldoHelperItemResult::Outcome::done)
                    result.restoredIDs.push_back(key);
                else {
                    result.failures[key] = helperFailure(*found->second);
                    if (helperRetryable(*found->second))
                        result.retryableIDs.insert(key);
                }
            }
            break;
        }
        case PrivilegedHelper::BatchResponse::Kind::unavailable:
            left.insert(left.end(), points.begin() + static_cast<std::ptrdiff_t>(begin),
                        points.begin() + static_cast<std::ptrdiff_t>(end));
            break;
        case PrivilegedHelper::BatchResponse::Kind::interrupted:
            for (std::size_t i = begin; i < end; ++i) {
                const std::string key = points[i].item.url.path();
                const bool back = platform::defaultFileManager()
                                      .attributesOfItem(MacPath(request.items[i].originalPath))
                                      .has_value() &&
                                  isGone(MacPath(request.items[i].trashPath));
                if (back)
                    result.restoredIDs.push_back(key);
                else {
                    result.failures[key] = response.sentence + " Try Undo again in a moment.";
                    result.retryableIDs.insert(key);
                }
            }
            break;
        }
    };
    PrivilegedHelper::sendInRequests(
        request,
        [&](const auto& part) {
            return PrivilegedHelper::restoreItemsWithHelper(part, PrivilegedHelper::kBatchTimeout,
                                                            stop);
        },
        take);
    return {result, left};
}

RestoreResult restore(const std::vector<RestorePoint>& points, const ScriptRestore& scriptRestore,
                      std::stop_token stop)
{
    auto [helperPoints, scriptPoints] = partitionByMover(points);
    RestoreResult helper;
    if (!helperPoints.empty()) {
        std::vector<RestorePoint> left = helperPoints;
        const auto defaults = platform::UserDefaults::standard();
        const auto services = helperDaemonService();
        if (PrivilegedHelper::isHelperUsable(*defaults, *services,
                                             PrivilegedHelper::kVersionTimeout, stop)) {
            auto batch = restoreWithHelper(helperPoints, stop);
            helper = std::move(batch.first);
            left = std::move(batch.second);
        }
        for (const RestorePoint& point : left) {
            helper.failures.emplace(point.item.url.path(), std::string(kHelperTryAgain));
            helper.retryableIDs.insert(point.item.url.path());
        }
    }
    if (scriptPoints.empty())
        return helper;
    RestoreResult script = scriptRestore(scriptPoints);
    RestoreResult merged;
    merged.restoredIDs = std::move(helper.restoredIDs);
    merged.restoredIDs.insert(merged.restoredIDs.end(), script.restoredIDs.begin(),
                              script.restoredIDs.end());
    // On a path both failed the script's sentence stays, and whether it may be retried with it.
    merged.retryableIDs = std::move(script.retryableIDs);
    for (const std::string& key : helper.retryableIDs)
        if (!script.failures.contains(key))
            merged.retryableIDs.insert(key);
    merged.failures = std::move(script.failures);
    merged.failures.merge(helper.failures);
    merged.wasCancelled = script.wasCancelled;
    return merged;
}

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
        // The cancelled dialog left the point where it was; the next Undo asks again.
        if (outcome.wasCancelled)
            result.retryableIDs.insert(plan.key);
    }
    result.wasCancelled = outcome.wasCancelled;
    return result;
}

} // namespace veldo::removal::AdminRemover
