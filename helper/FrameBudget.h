// FrameBudget: how much memory the helper daemon's connections may hold at once for request
// frames of more than one piece (kHelperFramePiece), in all and per account, so that no number of
// senders announcing large frames, or sending most of one and stalling, can take the daemon's
// memory.
//
// A reader asks before it reads such a frame's body, for the whole length announced, and keeps
// the grant until the frame has been handled; a reader that can't have it waits without reading
// (its sender's bytes stay in the socket) until grants are given back or its deadline passes.
// Frames of one piece or less need no grant: the connection limit bounds them. Thread-safe; the
// budget must outlive every grant it gave.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

#include <sys/types.h>

namespace veldo::helper {

class FrameBudget final
{
public:
    // What a grant holds back until it is destroyed.
    class Grant final
    {
    public:
        Grant(Grant&& other) noexcept;
        Grant& operator=(Grant&& other) noexcept;
        Grant(const Grant&) = delete;
        Grant& operator=(const Grant&) = delete;
        ~Grant();

    private:
        friend class FrameBudget;
        Grant(FrameBudget& budget, uid_t account, std::size_t bytes);
        void giveBack();

        FrameBudget* m_budget;
        uid_t m_account;
        std::size_t m_bytes;
    };

    FrameBudget(std::size_t total, std::size_t perAccount);
    FrameBudget(const FrameBudget&) = delete;
    FrameBudget& operator=(const FrameBudget&) = delete;

    // Waits until `bytes` fit in what is left of the total and of `account`'s share, at most until
    // `deadline`; none when the deadline came first, and at once when `bytes` exceed a share.
    std::optional<Grant> acquire(uid_t account, std::size_t bytes,
                                 std::chrono::steady_clock::time_point deadline);

    // The bytes granted now, in all.
    std::size_t held() const;

private:
    void release(uid_t account, std::size_t bytes);

    const std::size_t m_total;
    const std::size_t m_perAccount;
    mutable std::mutex m_lock;
    std::condition_variable m_released;
    std::size_t m_held = 0;
    std::map<uid_t, std::size_t> m_heldByAccount;
};

} // namespace veldo::helper
