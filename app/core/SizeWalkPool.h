// SizeWalkPool: the worker threads that measure large folder trees for allocatedSize, shared by
// every caller in the process.
//
// A caller that has more work than it wants to do alone offers a Source; each worker takes the
// next listed source round-robin and runs one of its items, so concurrent callers share the
// workers fairly. A source stays listed until a worker finds it empty. The pool never waits for
// a source: the caller runs its own items too and waits for the ones workers hold, so a busy or
// stopped pool only makes a caller slower, never stuck.
//
// Workers exist only in the process that made the pool (see servesThisProcess).
//
// Owned: shared() is made on first use (starting the workers) and, at process exit, stops and
// waits for them; a worker finishes the item it runs before it stops. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace veldo::core {

class SizeWalkPool
{
public:
    // Work that workers may take one item at a time.
    class Source
    {
    public:
        virtual ~Source() = default;
        // Runs one queued item; false (at once) when none is queued.
        virtual bool runOne() = 0;
    };

    explicit SizeWalkPool(unsigned workers);
    ~SizeWalkPool();
    SizeWalkPool(const SizeWalkPool&) = delete;
    SizeWalkPool& operator=(const SizeWalkPool&) = delete;

    // The process's pool: one worker fewer than the processors (the caller works too), at
    // least one, at most 15.
    static SizeWalkPool& shared();

    unsigned workers() const { return static_cast<unsigned>(m_threads.size()); }

    // False in a child forked from the process that made the pool: its workers are not there,
    // and their waits left the pool's locks unusable, so the child must walk alone.
    bool servesThisProcess() const { return ::getpid() == m_owner; }

    // Lists `source` (once, however often it is offered) and wakes a worker.
    void offer(const std::shared_ptr<Source>& source);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Source>> m_sources;
    pid_t m_owner;
    std::uint64_t m_offers = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads; // last: started once the rest is ready
};

} // namespace veldo::core
