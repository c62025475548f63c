// An injectable clock: services take a Clock& so tests can move time by hand.
#pragma once

#include <atomic>
#include <chrono>

namespace veldo::platform {

class Clock
{
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // Monotonic time for durations and time-outs.
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
};

class SystemClock final : public Clock
{
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
    std::chrono::steady_clock::time_point steadyNow() const override
    {
        return std::chrono::steady_clock::now();
    }
    static SystemClock& shared()
    {
        static SystemClock clock;
        return clock;
    }
};

// A clock that only moves when told; both readings advance together.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(TimePoint start = TimePoint(std::chrono::seconds(1'700'000'000)))
        : m_offset(start.time_since_epoch().count())
    {
    }
    TimePoint now() const override { return TimePoint(TimePoint::duration(m_offset.load())); }
    std::chrono::steady_clock::time_point steadyNow() const override
    {
        return std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                TimePoint::duration(m_offset.load())));
    }
    void advance(std::chrono::nanoseconds by)
    {
        m_offset += std::chrono::duration_cast<TimePoint::duration>(by).count();
    }
    void set(TimePoint t) { m_offset = t.time_since_epoch().count(); }

private:
    std::atomic<TimePoint::duration::rep> m_offset;
};

} // namespace veldo::platform
