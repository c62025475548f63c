// ResumeGuard: the switch that lets suspended controller tasks be resumed, until it is closed.
//
// A task scope owns one guard and shares it with every resume it posts (from pool threads and
// timers). The GUI thread resumes a task only through resume(), which does nothing once the
// scope has closed the guard (it is about to destroy, or has destroyed, the suspended frames).
// Copies of the shared pointer may be made and dropped on any thread; close() and resume() are
// called on the owner's thread. No Qt here, so the thread sanitizer can check it alone.
#pragma once

#include <atomic>
#include <coroutine>

namespace veldo::controller {

class ResumeGuard
{
public:
    ResumeGuard() = default;
    ResumeGuard(const ResumeGuard&) = delete;
    ResumeGuard& operator=(const ResumeGuard&) = delete;

    // Resumes `frame` and answers true while the guard is open; answers false and leaves the
    // frame alone once it is closed.
    bool resume(std::coroutine_handle<> frame) const;

    // From now on resume() does nothing. Idempotent.
    void close() { m_open.store(false, std::memory_order_release); }
    bool isOpen() const { return m_open.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_open{true};
};

} // namespace veldo::controller
