// The administrator move: the script move, the helper batch and their merge.
#include "app/removal/AdminMover.h"

#include <cerrno>
#include <map>
#include <optional>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include "app/removal/AdminFolderChecks.h"
#include "app/removal/AdminScriptRunner.h"
#include "app/removal/AdminScriptText.h"
#include "app/removal/PrivilegedHelper.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "app/removal/TrashExecutor.h"
#include "common/HelperFileAccess.h"
#include "common/VeldoHelperProtocol.h"
#include "platform/FileManager.h"
#include "platform/MacFileSystem.h"
#include "platform/MacRoot.h"
#include "platform/SystemError.h"
#include "platform/UserDefaults.h"

namespace veldo::removal::AdminRemover {

namespace {

using common::VeldoHelperItemResult;
using platform::MacPath;

constexpr std::string_view kCouldNotMove = "The item couldn't be moved.";

// One item that gets a clause; its position is its marker index.
struct Plan
{
    MacPath source;
    std::string destination;
    common::HelperStat item;
    common::HelperStat parent;
};

std::string systemText(int err)
{
    return platform::SystemError::posix(err).localizedDescription();
}

std::string identity(std::uint64_t device, std::uint64_t inode)
{
    return std::to_string(device) + ":" + std::to_string(inode);
}

std::uint64_t deviceOf(const common::HelperStat& status)
{
    return static_cast<std::uint64_t>(status.device);
}

MacPath trashFolder(const common::RemovalSafety::Context& context)
{
    return context.homeDirectory.appendingPathComponent(".Trash");
}

// The first folder on the way from "/" to `item` that the account may not search, or none.
std::optional<MacPath> closedFolderAbove(const MacPath& item)
{
    std::vector<MacPath> folders;
    for (MacPath folder = item.deletingLastPathComponent();
         folder.path().size() > 1 && folder.path().starts_with('/');
         folder = folder.deletingLastPathComponent())
        folders.push_back(folder);
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        const std::string host = platform::hostPath(*folder);
        if (::faccessat(AT_FDCWD, host.c_str(), X_OK, AT_EACCESS) != 0)
            return errno == EACCES ? std::optional(*folder) : std::nullopt;
    }
    return std::nullopt;
}

// The sentence of an item whose status a status call refused with `err`: a folder around it that
// the account may not enter is named, with what the user can do instead; anything else is the
// system's text.
std::string statusFailureSentence(const MacPath& item, int err,
                                  const common::RemovalSafety::Context& context)
{
    const auto closed = err == EACCES ? closedFolderAbove(item) : std::nullopt;
    if (!closed)
        return systemText(err);
    const auto status = platform::fileStatus(*closed, platform::FollowLinks::no);
    const bool system = status && status->uid == 0;
    std::string sentence = "The folder “" + closed->lastPathComponent() + "” around this item is " +
                           (system ? "open only to the system" : "closed to your account") +
                           ", so Veldo can't check the item inside it.";
    if (!common::removalRefusal(*closed, context))
        sentence += " You can remove the whole folder instead.";
    return sentence;
}

// The sentence of an item whose parent folder could not be proven, or none when the item is
// missing (only ENOENT and ENOTDIR from its own status say so).
std::optional<std::string> unverifiedParentSentence(const MacPath& item, int verifyErrno,
                                                    const common::RemovalSafety::Context& context)
{
    const auto own = platform::fileStatus(item, platform::FollowLinks::no);
    if (!own && platform::meansMissing(own.error().systemErrno))
        return std::nullopt;
    switch (verifyErrno) {
    case ELOOP:
        return std::string(kLinkOnTheWay);
    case EILSEQ:
        return std::string(kUnsafeCharacters);
    default:
        // The item itself was found (or could not be read), so even ENOENT from the folder
        // check, a folder changed in between, is a failure here, never "already gone".
        return statusFailureSentence(item, verifyErrno, context);
    }
}

std::string prompt(std::size_t count)
{
    return "Veldo needs an administrator password to move " + std::to_string(count) + " item" +
           (count == 1 ? "" : "s") + " to your Trash.";
}

// Whether the item is gone from its place: only a missing entry counts; any other error leaves
// it in place.
bool isGone(const std::string& path)
{
    const auto attributes = platform::defaultFileManager().attributesOfItem(MacPath(path));
    if (attributes)
        return false;
    return platform::meansMissing(attributes.error());
}

// A path met before in this batch is skipped without a record; a path the removal-safety
// policy refuses gets the refusal's sentence. True when the item goes no further.
bool skippedOrRefused(const MacPath& url, const common::RemovalSafety::Context& context,
                      std::set<std::string>& seen, MoveResult& result)
{
    if (!seen.insert(url.path()).second)
        return true;
    if (auto refusal = common::removalRefusal(url, context)) {
        result.failures[url.path()] = common::removalRefusalMessage(*refusal);
        return true;
    }
    return false;
}

} // namespace

MoveResult runMoveScript(const std::vector<MacPath>& items,
                         const common::RemovalSafety::Context& context, std::stop_token stop)
{
    MoveResult result;
    if (items.empty())
        return result;
    const MacPath trash = trashFolder(context);
    const std::string& trashPath = trash.path();
    (void)platform::defaultFileManager().createDirectory(trash, true);
    const auto trashStatus = platform::fileStatus(trash, platform::FollowLinks::no);
    if (!trashStatus || trashStatus->type != platform::FileType::directory ||
        trashStatus->uid != ::getuid() || !trashPath.starts_with('/') ||
        containsControlCharacters(trashPath)) {
        for (const MacPath& item : items)
            result.failures[item.standardized().path()] = std::string(kTrashNotUsable);
        return result;
    }
    const std::string trashIdentity =
        identity(trashStatus->device, trashStatus->inode) + ":" + std::to_string(trashStatus->uid);
    const std::uint64_t trashDevice = trashStatus->device;

    std::set<std::string> seen;
    std::set<std::string> reserved;
    std::vector<Plan> plans;
    std::vector<std::string> commands;
    for (const MacPath& item : items) {
        const MacPath url = item.standardized();
        const std::string& path = url.path();
        if (skippedOrRefused(url, context, seen, result))
            continue;
        if (!path.starts_with('/') || containsControlCharacters(path)) {
            result.failures[path] = std::string(kUnsafeCharacters);
            continue;
        }
        auto parent = verifyFolder(url.deletingLastPathComponent().path());
        if (!parent) {
            if (auto sentence = unverifiedParentSentence(url, parent.error().systemErrno, context))
                result.failures[path] = *sentence;
            else
                result.missing.insert(path);
            continue;
        }
        const std::string name = url.lastPathComponent();
        const auto status = common::statEntry(parent->descriptor, name);
        if (!status) {
            result.failures[path] = statusFailureSentence(url, status.error().systemErrno, context);
            continue;
        }
        if (!*status) {
            result.missing.insert(path);
            continue;
        }
        const common::HelperStat& own = **status;
        if (deviceOf(own) != trashDevice || deviceOf(parent->status) != deviceOf(own)) {
            result.failures[path] = std::string(kOtherVolume);
            continue;
        }
        const std::string destination = uniqueTrashDestination(url, trashPath, reserved);
        MoveClause clause;
        clause.index = static_cast<std::int64_t>(plans.size());
        clause.parentPath = parent->path;
        clause.parentIdentity = identity(deviceOf(parent->status), parent->status.inode);
        clause.name = name;
        clause.itemIdentity = identity(deviceOf(own), own.inode);
        clause.trashPath = trashPath;
        clause.trashIdentity = trashIdentity;
        clause.trashDevice = std::to_string(trashDevice);
        clause.destinationName = MacPath(destination).lastPathComponent();
        clause.bootsOutDaemon = TrashExecutor::isSystemDaemonPlist(url);
        commands.push_back(moveClause(clause));
        plans.push_back(Plan{url, destination, own, parent->status});
    }
    if (plans.empty())
        return result;

    const ScriptOutcome outcome = runAdministratorScript(commands, prompt(plans.size()), stop);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Plan& plan = plans[i];
        const auto index = static_cast<std::int64_t>(i);
        if (outcome.succeeded.contains(index)) {
            const auto there =
                platform::fileStatus(MacPath(plan.destination), platform::FollowLinks::no);
            if (there && there->device == deviceOf(plan.item) && there->inode == plan.item.inode) {
                result.moved.push_back(Move{
                    .source = plan.source,
                    .destination = MacPath(plan.destination),
                    .ownerID = plan.item.uid,
                    .groupID = plan.item.gid,
                    .device = plan.item.device,
                    .inode = plan.item.inode,
                    .parentDevice = plan.parent.device,
                    .parentInode = plan.parent.inode,
                    .parentOwnerID = plan.parent.uid,
                    .movedByHelper = false,
                });
                continue;
            }
        }
        result.failures[plan.source.path()] = failureMessage(index, outcome);
    }
    result.wasCancelled = outcome.wasCancelled;
    return result;
}

std::pair<MoveResult, std::vector<MacPath>>
moveWithHelper(const std::vector<MacPath>& items, const common::RemovalSafety::Context& context,
               std::stop_token stop)
{
    MoveResult result;
    std::vector<MacPath> leftForScript;
    const MacPath trash = trashFolder(context);
    (void)platform::defaultFileManager().createDirectory(trash, true);

    common::VeldoHelperMoveRequest request;
    std::vector<MacPath> requested; // the standardized URL of each request item
    // Beyond the records the ledger keeps for an account: the script's, which needs none.
    std::vector<MacPath> beyondLedger;
    std::set<std::string> seen;
    std::set<std::string> reserved;
    for (const MacPath& item : items) {
        const MacPath url = item.standardized();
        const std::string& path = url.path();
        if (skippedOrRefused(url, context, seen, result))
            continue;
        const auto attributes = platform::defaultFileManager().attributesOfItem(url);
        if (!attributes) {
            // Only a missing entry is gone; one that can't be read is the helper's to check.
            if (platform::meansMissing(attributes.error())) {
                result.missing.insert(path);
                continue;
            }
        }
        if (request.items.size() == common::kHelperRequestItemLimit) {
            beyondLedger.push_back(url);
            continue;
        }
        request.items.push_back({path, uniqueTrashDestination(url, trash.path(), reserved)});
        requested.push_back(url);
    }
    if (request.items.empty())
        return {std::move(result), std::move(leftForScript)};

    auto take = [&](const PrivilegedHelper::BatchResponse& response, std::size_t begin,
                    std::size_t end) {
        switch (response.kind) {
        case PrivilegedHelper::BatchResponse::Kind::results: {
            std::map<std::string, const VeldoHelperItemResult*> byPath;
            for (const VeldoHelperItemResult& answer : response.results)
                byPath[answer.path] = &answer; // the later result for a path counts
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& path = request.items[i].source;
                const auto found = byPath.find(path);
                if (found == byPath.end()) {
                    leftForScript.push_back(requested[i]);
                    continue;
                }
                const VeldoHelperItemResult& answer = *found->second;
                switch (answer.outcome) {
                case VeldoHelperItemResult::Outcome::done:
                    if (!answer.destination) {
                        leftForScript.push_back(requested[i]);
                        break;
                    }
                    result.moved.push_back(Move{.source = requested[i],
                                                .destination = MacPath(*answer.destination),
                                                .ownerID = answer.ownerID,
                                                .groupID = answer.groupID,
                                                .movedByHelper = true});
                    break;
                case VeldoHelperItemResult::Outcome::missing:
                    result.missing.insert(path);
                    break;
                case VeldoHelperItemResult::Outcome::failed:
                    result.failures[path] = answer.message.value_or(std::string(kCouldNotMove));
                    break;
                case VeldoHelperItemResult::Outcome::notHandled:
                    leftForScript.push_back(requested[i]);
                    break;
                }
            }
            break;
        }
        case PrivilegedHelper::BatchResponse::Kind::unavailable:
            leftForScript.insert(leftForScript.end(),
                                 requested.begin() + static_cast<std::ptrdiff_t>(begin),
                                 requested.begin() + static_cast<std::ptrdiff_t>(end));
            break;
        case PrivilegedHelper::BatchResponse::Kind::interrupted:
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& source = request.items[i].source;
                result.failures[source] =
                    response.sentence +
                    (isGone(source) ? " It may already be in the Trash; Undo can't put it back."
                                    : " It was still in place afterwards; try again in a moment.");
            }
            break;
        }
    };
    PrivilegedHelper::sendInRequests(
        request,
        [&](const auto& part) {
            return PrivilegedHelper::moveItemsWithHelper(part, PrivilegedHelper::kBatchTimeout,
                                                         stop);
        },
        take);
    leftForScript.insert(leftForScript.end(), beyondLedger.begin(), beyondLedger.end());
    return {std::move(result), std::move(leftForScript)};
}

MoveResult moveToTrash(const std::vector<MacPath>& items,
                       const common::RemovalSafety::Context& context, std::stop_token stop)
{
    if (items.empty())
        return {};
    const auto defaults = platform::UserDefaults::standard();
    const auto services = helperDaemonService();
    if (!PrivilegedHelper::isHelperUsable(*defaults, *services, PrivilegedHelper::kVersionTimeout,
                                          stop))
        return runMoveScript(items, context, stop);
    auto [helper, left] = moveWithHelper(items, context, stop);
    if (left.empty())
        return helper;
    MoveResult script = runMoveScript(left, context, stop);
    MoveResult merged;
    merged.moved = std::move(helper.moved);
    merged.moved.insert(merged.moved.end(), script.moved.begin(), script.moved.end());
    merged.failures = std::move(script.failures);
    merged.failures.merge(helper.failures); // the script's sentence stays on a shared path
    merged.missing = std::move(helper.missing);
    merged.missing.insert(script.missing.begin(), script.missing.end());
    merged.wasCancelled = script.wasCancelled;
    return merged;
}

} // namespace veldo::removal::AdminRemover
