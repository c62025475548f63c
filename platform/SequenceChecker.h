// SequenceChecker: asserts, in debug builds, that an object is used from one thread only.
//
// An object confined to one thread (the GUI thread, say) holds a SequenceChecker and calls
// VELDO_CHECK_SEQUENCE(m_sequence) at the top of its members. The checker binds to the first
// thread that checks it; a check from any other thread afterwards aborts a debug build with a
// message naming the object. Release builds (NDEBUG) compile the check to nothing. detach()
// lets the next checking thread bind it again (for an object handed over to another thread).
#pragma once

#include <atomic>
#include <thread>

namespace veldo::platform {

class SequenceChecker
{
public:
    explicit SequenceChecker(const char* owner) : m_owner(owner) {}

    // True on the bound thread, and on the first thread to ask (which binds it).
    bool calledOnValidSequence() const
    {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id bound{};
        if (m_thread.compare_exchange_strong(bound, self, std::memory_order_acq_rel))
            return true;
        return bound == self;
    }

    void detach() { m_thread.store(std::thread::id{}, std::memory_order_release); }

    const char* owner() const { return m_owner; }

private:
    const char* m_owner;
    mutable std::atomic<std::thread::id> m_thread{};
};

// Aborts with the owner's name when `checker` is used off its thread; only in debug builds.
[[noreturn]] void sequenceViolation(const SequenceChecker& checker, const char* file, int line);

} // namespace veldo::platform

#ifdef NDEBUG
#define VELDO_CHECK_SEQUENCE(checker) static_cast<void>(0)
#else
#define VELDO_CHECK_SEQUENCE(checker)                                                              \
    ((checker).calledOnValidSequence()                                                             \
         ? static_cast<void>(0)                                                                    \
         : ::veldo::platform::sequenceViolation((checker), __FILE__, __LINE__))
#endif
