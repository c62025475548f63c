// RemovalTally: what a removal's background steps have moved that the lifetime statistics don't
// hold yet.
//
// Each step of a removal that moves items (the Trash run, the administrator move) adds what it
// moved as it returns, on the pool's thread. The removal closes its tally when it records its
// own outcome; the controller's shutdown records what a tally it finds still open holds: a quit
// ends the removal's task without resuming it, but the items its work moved stay moved and are
// counted. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace veldo::controller {

class RemovalTally
{
public:
    struct Totals
    {
        std::int64_t bytes = 0;
        std::int64_t items = 0;
        std::int64_t apps = 0;
        friend bool operator==(const Totals&, const Totals&) = default;
    };

    // Adds one step's moves. Any thread.
    void add(const Totals& moved);
    // Answers what was added since the last take and starts again from nothing. Any thread.
    Totals take();

private:
    std::mutex m_mutex;
    Totals m_totals;
};

} // namespace veldo::controller
