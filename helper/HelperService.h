// HelperService: answers one connection's calls to the helper daemon: the version call, and moves
// and restores carried as JSON request records.
//
// Every move or restore runs under the process-wide work lock, for the whole batch, caller check
// included; the version call takes no lock, nor does the refusal of a caller whose connection was
// accepted as no administrator's. A move checks the caller (account and administrator),
// builds a Trash mover for that account and runs it item by item, answering items not yet begun
// as stopped once the shutdown flag is set; a restore does the same with the mover's put-back. The
// reply is announced on the connection before the work lock is released and sent by the caller of
// handle() afterwards, so the exiting path can flush the latest one (flushPendingReply).
//
// The shutdown flag, the work lock, the latest reply's connection, the move ledger and the
// protected bundles live for the process.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "common/HelperMoveLedger.h"
#include "common/HelperReplyEnvelope.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "helper/CallerStanding.h"
#include "helper/HelperConnection.h"
#include "helper/HelperTrashMover.h"
#include "helper/RepeatedLines.h"
#include "helper/UserDatabase.h"
#include "platform/MacPath.h"

namespace veldo::helper {

class HelperService final
{
public:
    // Most items one request may carry; a larger one is refused whole.
    static constexpr std::size_t kMaximumItems = common::kHelperRequestItemLimit;

    class ShutdownFlag final
    {
    public:
        void set();
        bool isSet() const;

    private:
        mutable std::mutex m_lock;
        bool m_value = false;
    };

    struct ReplyConnection
    {
        std::mutex lock;
        std::weak_ptr<HelperConnection> value;
    };

    // What the connection sends back for one frame, and whether it closes afterwards.
    struct Answer
    {
        std::string payload;
        bool closeAfterwards = false;
    };

    // `standing` is the caller's as its connection was accepted: a move or restore of an account
    // that is no administrator's is refused at once, without the work lock; an administrator's is
    // checked again when it runs. Refusal lines go through `lines` when given.
    HelperService(uid_t callerUID, pid_t callerPID, std::weak_ptr<HelperConnection> connection = {},
                  const UserDatabase& users = UserDatabase::system(),
                  CallerStanding standing = CallerStanding::administrator,
                  RepeatedLines* lines = nullptr);

    // Answers one request envelope's text. An envelope that can't be read is answered with the
    // unreadable-request sentence and closes the connection.
    Answer handle(std::string_view envelopeText);

    // The version reply's JSON text: the protocol version and the daemon's build.
    static std::string versionReply();

    // A move request's JSON text, answered as a reply envelope (record or sentence).
    common::HelperReplyEnvelope moveToTrash(std::string_view requestJSON);

    // A restore request's JSON text, answered as a reply envelope (record or sentence).
    common::HelperReplyEnvelope restore(std::string_view requestJSON);

    // Logs the refusal of a request of a caller of `standing` (not an administrator's) and answers
    // its sentence.
    common::HelperReplyEnvelope refuse(CallerStanding standing) const;

    static std::mutex& workLock();
    static ShutdownFlag& shutdownFlag();
    static ReplyConnection& replyConnection();

    // Waits at most `timeout` until the reply of the latest finished request has been sent.
    static void flushPendingReply(std::chrono::milliseconds timeout);

    // The move ledger of the state folder, loaded on first success; none (logged) while it can't
    // be loaded.
    static common::HelperMoveLedger* moveLedger();

    // The app bundle holding the daemon: its executable's real path with three components
    // removed, when that ends in ".app"; else nothing.
    static std::vector<platform::MacPath> helperProtectedBundles();
    static std::vector<platform::MacPath>
    protectedBundlesFor(const std::optional<platform::MacPath>& executable);

    // The Trash mover for `caller`, configured as every request and the recovery use it.
    static HelperTrashMover makeMover(HelperCaller caller, std::function<bool()> isCancelled);

private:
    using Work = std::function<std::optional<common::VeldoHelperReply>(const HelperTrashMover&)>;

    common::HelperReplyEnvelope performRequest(const Work& work);
    std::optional<HelperCaller> checkCaller(std::optional<common::HelperReplyEnvelope>& refusal);

    // Logs a refusal of this caller's request.
    void logRefusal(std::string_view format, std::initializer_list<std::string_view> values) const;

    uid_t m_callerUID;
    pid_t m_callerPID;
    std::weak_ptr<HelperConnection> m_connection;
    const UserDatabase* m_users;
    CallerStanding m_standing;
    RepeatedLines* m_lines;
};

} // namespace veldo::helper
