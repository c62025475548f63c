// CleanupStats: lifetime totals of what cleanups reclaimed, kept in the user defaults.
//
// The counters are never negative and never wrap: a total that would pass the 64-bit range
// stays at its largest value. record, subtract and reset write all three counters to the
// defaults when they finish (a failed write is logged once per save and the totals hold in
// memory for this run); setting a counter directly changes only the value in memory.
// Observers hear of a counter only when its value changed.
//
// Confined to one thread (the GUI thread): the object itself is not thread-safe, and debug
// builds abort when it is used from a second thread; shared() is thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/ObserverList.h"
#include "platform/SequenceChecker.h"
#include "platform/UserDefaults.h"

namespace veldo::core {

class CleanupStats
{
public:
    enum class Counter
    {
        totalBytesReclaimed,
        totalItemsRemoved,
        totalAppsCleaned
    };
    using ObserverId = platform::ObserverList<Counter>::Id;

    static constexpr std::string_view kTotalBytesReclaimedKey = "Veldo.Stats.TotalBytesReclaimed";
    static constexpr std::string_view kTotalItemsRemovedKey = "Veldo.Stats.TotalItemsRemoved";
    static constexpr std::string_view kTotalAppsCleanedKey = "Veldo.Stats.TotalAppsCleaned";

    // The process-wide statistics over the standard defaults, made on first use (and afresh
    // after a change of Mac root).
    static std::shared_ptr<CleanupStats> shared();

    // Loads the counters with the defaults' integer reading (a missing key is 0; a stored
    // negative value is taken as 0).
    explicit CleanupStats(std::shared_ptr<platform::UserDefaults> defaults);

    CleanupStats(const CleanupStats&) = delete;
    CleanupStats& operator=(const CleanupStats&) = delete;

    std::int64_t totalBytesReclaimed() const { return value(Counter::totalBytesReclaimed); }
    std::int64_t totalItemsRemoved() const { return value(Counter::totalItemsRemoved); }
    std::int64_t totalAppsCleaned() const { return value(Counter::totalAppsCleaned); }

    // In memory only (a negative value is taken as 0); nothing is written.
    void setTotalBytesReclaimed(std::int64_t v) { assign(Counter::totalBytesReclaimed, v); }
    void setTotalItemsRemoved(std::int64_t v) { assign(Counter::totalItemsRemoved, v); }
    void setTotalAppsCleaned(std::int64_t v) { assign(Counter::totalAppsCleaned, v); }

    // Adds a finished removal. Nothing happens (nothing is written) when items is below 1.
    // A negative bytes or apps counts as 0.
    void record(std::int64_t bytes, std::int64_t items, std::int64_t apps);

    // Takes an undone removal off the totals, each floored at 0. A negative apps counts as 0.
    void subtract(std::int64_t bytes, std::int64_t items, std::int64_t apps);

    // Sets every counter to 0 and writes all three.
    void reset();

    const std::shared_ptr<platform::UserDefaults>& defaults() const { return m_defaults; }

    // The callback hears each counter whose value changed, right after the change.
    ObserverId addObserver(std::function<void(Counter)> callback);
    void removeObserver(ObserverId id);

    static std::string_view key(Counter counter);

private:
    std::int64_t value(Counter counter) const;
    void assign(Counter counter, std::int64_t value);
    void persist() const;

    std::array<std::int64_t, 3> m_values{};
    const std::shared_ptr<platform::UserDefaults> m_defaults;
    platform::ObserverList<Counter> m_observers;
    platform::SequenceChecker m_sequence{"CleanupStats"};
};

} // namespace veldo::core
