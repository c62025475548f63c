#include "helper/HelperService.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "base/RawValue.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "helper/CallerAccount.h"
#include "helper/DaemonBuild.h"
#include "helper/HelperLog.h"
#include "helper/ToolRunner.h"
#include "platform/ErrnoName.h"
#include "platform/MacRoot.h"

namespace veldo::helper {

namespace {

common::HelperReplyEnvelope refusal(std::string_view sentence)
{
    return common::HelperReplyEnvelope::withError(std::string(sentence));
}

std::string encodeEnvelope(const common::HelperReplyEnvelope& envelope)
{
    if (auto text = envelope.encodeJSON())
        return std::move(*text);
    return *refusal(common::kHelperErrorUnencodableReply).encodeJSON();
}

common::VeldoHelperItemResult stoppedResult(const std::string& path)
{
    common::VeldoHelperItemResult result;
    result.path = path;
    result.outcome = common::VeldoHelperItemResult::Outcome::notHandled;
    result.message = "Veldo's helper stopped before it got to this item.";
    result.reason = common::VeldoHelperItemResult::Reason::stopped;
    return result;
}

// One request's items in order, or nothing when the request can't be read or is too large. Once
// the shutdown flag is set, or when `perform` declines an item, the item is answered as stopped
// at `stoppedPath`.
template <typename Decoded, typename StoppedPath, typename Perform>
std::optional<common::VeldoHelperReply>
answerItems(const Decoded& request, std::string_view countLine, uid_t callerUID,
            const StoppedPath& stoppedPath, const Perform& perform)
{
    if (!request || request->items.size() > HelperService::kMaximumItems)
        return std::nullopt;
    serviceLog().notice(countLine,
                        {std::to_string(request->items.size()), std::to_string(callerUID)});
    common::VeldoHelperReply reply;
    reply.results.reserve(request->items.size());
    for (const auto& item : request->items) {
        std::optional<common::VeldoHelperItemResult> result;
        if (!HelperService::shutdownFlag().isSet())
            result = perform(item);
        reply.results.push_back(result ? std::move(*result) : stoppedResult(stoppedPath(item)));
    }
    return reply;
}

} // namespace

void HelperService::ShutdownFlag::set()
{
    const std::lock_guard guard(m_lock);
    m_value = true;
}

bool HelperService::ShutdownFlag::isSet() const
{
    const std::lock_guard guard(m_lock);
    return m_value;
}

HelperService::HelperService(uid_t callerUID, pid_t callerPID,
                             std::weak_ptr<HelperConnection> connection, const UserDatabase& users,
                             CallerStanding standing, RepeatedLines* lines)
    : m_callerUID(callerUID), m_callerPID(callerPID), m_connection(std::move(connection)),
      m_users(&users), m_standing(standing), m_lines(lines)
{
}

void HelperService::logRefusal(std::string_view format,
                               std::initializer_list<std::string_view> values) const
{
    if (m_lines)
        m_lines->log(serviceLog(), HelperLog::Level::error, m_callerUID, format, values);
    else
        serviceLog().error(format, values);
}

std::mutex& HelperService::workLock()
{
    static std::mutex lock;
    return lock;
}

HelperService::ShutdownFlag& HelperService::shutdownFlag()
{
    static ShutdownFlag flag;
    return flag;
}

HelperService::ReplyConnection& HelperService::replyConnection()
{
    static ReplyConnection connection;
    return connection;
}

void HelperService::flushPendingReply(std::chrono::milliseconds timeout)
{
    std::shared_ptr<HelperConnection> connection;
    {
        auto& latest = replyConnection();
        const std::lock_guard guard(latest.lock);
        connection = latest.value.lock();
    }
    if (connection)
        connection->waitForReplies(timeout);
}

common::HelperMoveLedger* HelperService::moveLedger()
{
    // Loaded again after a change of Mac root (tests).
    struct Shared
    {
        std::mutex lock;
        std::optional<common::HelperMoveLedger> ledger;
        platform::MacRootResetHook hook;
    };
    static Shared* const shared = [] {
        auto* made = new Shared; // never destroyed: requests may run until _exit
        made->hook = platform::addMacRootResetHook([made] {
            const std::lock_guard guard(made->lock);
            made->ledger.reset();
        });
        return made;
    }();
    const std::lock_guard guard(shared->lock);
    if (!shared->ledger) {
        auto loaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
        if (!loaded) {
            serviceLog().error("The move ledger couldn't be loaded (errno %{public}d)",
                               {std::to_string(loaded.error().systemErrno)});
            return nullptr;
        }
        shared->ledger.emplace(std::move(*loaded));
    }
    return &*shared->ledger;
}

std::vector<platform::MacPath>
HelperService::protectedBundlesFor(const std::optional<platform::MacPath>& executable)
{
    if (!executable)
        return {};
    const platform::MacPath bundle = executable->deletingLastPathComponent()
                                         .deletingLastPathComponent()
                                         .deletingLastPathComponent();
    if (bundle.pathExtension() != "app")
        return {};
    return {bundle};
}

std::vector<platform::MacPath> HelperService::helperProtectedBundles()
{
    static const std::vector<platform::MacPath> bundles = [] {
        std::error_code error;
        const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
        return protectedBundlesFor(error ? std::nullopt
                                         : platform::macPathForHost(executable.string()));
    }();
    return bundles;
}

HelperTrashMover HelperService::makeMover(HelperCaller caller, std::function<bool()> isCancelled)
{
    HelperTrashMover mover;
    mover.caller = std::move(caller);
    mover.protectedBundles = helperProtectedBundles();
    mover.ledger = moveLedger();
    mover.launchctl = runLaunchctl;
    mover.maximumDepth = 256;
    mover.handsOverFoldersForTesting = false;
    mover.isCancelled = std::move(isCancelled);
    mover.requestFacts = std::make_shared<HelperTrashMover::RequestFacts>();
    return mover;
}

std::string HelperService::versionReply()
{
    const common::HelperVersionReply reply{common::kHelperProtocolVersion, daemonBuild()};
    if (auto text = reply.encodeJSON())
        return std::move(*text);
    return R"({"protocolVersion":3,"build":"0"})";
}

HelperService::Answer HelperService::handle(std::string_view envelopeText)
{
    const auto envelope = common::HelperRequestEnvelope::decodeJSON(envelopeText);
    if (!envelope)
        return {encodeEnvelope(refusal(common::kHelperErrorUnreadableRequest)), true};
    switch (envelope->method) {
    case common::HelperMethod::version:
        return {versionReply(), false};
    case common::HelperMethod::moveToTrash:
        return {encodeEnvelope(moveToTrash(*envelope->request)), false};
    case common::HelperMethod::restore:
        return {encodeEnvelope(restore(*envelope->request)), false};
    }
    return {encodeEnvelope(refusal(common::kHelperErrorUnreadableRequest)), true};
}

common::HelperReplyEnvelope HelperService::refuse(CallerStanding standing) const
{
    if (standing == CallerStanding::unknownAccount)
        logRefusal("Refused a request from uid %{public}u (pid %{public}d)",
                   {std::to_string(m_callerUID), std::to_string(m_callerPID)});
    else
        logRefusal("Refused a request from non-administrator uid %{public}u",
                   {std::to_string(m_callerUID)});
    return refusal(refusalSentence(standing));
}

std::optional<HelperCaller>
HelperService::checkCaller(std::optional<common::HelperReplyEnvelope>& refused)
{
    const std::optional<CallerAccount> account =
        m_callerUID == 0 ? std::nullopt : CallerAccount::make(m_callerUID, *m_users);
    const CallerStanding standing = !account ? CallerStanding::unknownAccount
                                    : account->isAdministrator(*m_users)
                                        ? CallerStanding::administrator
                                        : CallerStanding::notAdministrator;
    if (standing != CallerStanding::administrator) {
        refused = refuse(standing);
        return std::nullopt;
    }
    return HelperCaller{account->uid, account->gid, account->home, account->groups(*m_users)};
}

common::HelperReplyEnvelope HelperService::performRequest(const Work& work)
{
    // Nothing an account that can't be served sends waits for, or holds, the work lock.
    if (m_standing != CallerStanding::administrator)
        return shutdownFlag().isSet() ? refusal(common::kHelperErrorShuttingDown)
                                      : refuse(m_standing);
    const std::weak_ptr<HelperConnection> connection = m_connection;
    std::unique_lock lock(workLock());
    auto answer = [&]() -> common::HelperReplyEnvelope {
        if (shutdownFlag().isSet())
            return refusal(common::kHelperErrorShuttingDown);
        std::optional<common::HelperReplyEnvelope> refused;
        auto caller = checkCaller(refused);
        if (!caller)
            return *refused;
        const HelperTrashMover mover =
            makeMover(std::move(*caller), [] { return shutdownFlag().isSet(); });
        const auto reply = work(mover);
        // What the reply says was moved or put back is recorded on the disk before it goes.
        if (mover.ledger) {
            if (const auto committed = mover.ledger->commit(); !committed)
                serviceLog().error("The move ledger couldn't be flushed to disk (%{public}s)",
                                   {platform::errnoName(committed.error().systemErrno)});
        }
        if (!reply)
            return refusal(common::kHelperErrorUnreadableRequest);
        auto text = reply->encodeJSON();
        if (!text)
            return refusal(common::kHelperErrorUnencodableReply);
        return common::HelperReplyEnvelope::withData(std::move(*text));
    }();
    {
        auto& latest = replyConnection();
        const std::lock_guard guard(latest.lock);
        latest.value = connection;
        if (const auto open = connection.lock())
            open->replyPending();
    }
    return answer;
}

common::HelperReplyEnvelope HelperService::moveToTrash(std::string_view requestJSON)
{
    return performRequest([&](const HelperTrashMover& mover) {
        return answerItems(
            common::VeldoHelperMoveRequest::decodeJSON(requestJSON),
            "Move of %{public}ld item(s) for uid %{public}u", m_callerUID,
            [](const auto& item) { return item.source; },
            [&](const auto& item) -> std::optional<common::VeldoHelperItemResult> {
                // Without its ledger the daemon could not put an item back: it takes none.
                if (!mover.ledger)
                    return std::nullopt;
                auto result = mover.moveItems(item.source, item.destination);
                serviceLog().notice("move %{private}s -> %{public}s",
                                    {item.source, base::rawValue(result.outcome)});
                return result;
            });
    });
}

common::HelperReplyEnvelope HelperService::restore(std::string_view requestJSON)
{
    return performRequest([&](const HelperTrashMover& mover) {
        return answerItems(
            common::VeldoHelperRestoreRequest::decodeJSON(requestJSON),
            "Restore of %{public}ld item(s) for uid %{public}u", m_callerUID,
            [](const auto& item) { return item.trashPath; },
            [&](const auto& item) -> std::optional<common::VeldoHelperItemResult> {
                auto result = mover.restoreItems(item.trashPath, item.originalPath);
                serviceLog().notice("restore %{private}s -> %{public}s",
                                    {item.originalPath, base::rawValue(result.outcome)});
                return result;
            });
    });
}

} // namespace veldo::helper
