// Lifetime cleanup totals with saturating arithmetic, persisted in the user defaults.
#include "app/core/CleanupStats.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>

#include "platform/Log.h"
#include "platform/OncePerRoot.h"

namespace veldo::core {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

constexpr std::array<CleanupStats::Counter, 3> kCounters{CleanupStats::Counter::totalBytesReclaimed,
                                                         CleanupStats::Counter::totalItemsRemoved,
                                                         CleanupStats::Counter::totalAppsCleaned};

constexpr std::size_t indexOf(CleanupStats::Counter counter)
{
    return static_cast<std::size_t>(counter);
}

// total + amount for total >= 0 and amount >= 0, held at kMax.
std::int64_t saturatingAdd(std::int64_t total, std::int64_t amount)
{
    return total > kMax - amount ? kMax : total + amount;
}

// The larger of (total - amount) and 0, for total >= 0 and any amount, held at kMax.
std::int64_t flooredSubtract(std::int64_t total, std::int64_t amount)
{
    if (amount >= 0)
        return std::max<std::int64_t>(total - amount, 0);
    // Taking off a negative amount adds; -(amount + 1) avoids negating INT64_MIN.
    return saturatingAdd(saturatingAdd(total, -(amount + 1)), 1);
}

} // namespace

std::shared_ptr<CleanupStats> CleanupStats::shared()
{
    static platform::OncePerRoot<std::shared_ptr<CleanupStats>> instance(
        [] { return std::make_shared<CleanupStats>(platform::UserDefaults::standard()); });
    return instance.get();
}

CleanupStats::CleanupStats(std::shared_ptr<platform::UserDefaults> defaults)
    : m_defaults(std::move(defaults))
{
    for (Counter c : kCounters)
        m_values[indexOf(c)] = std::max<std::int64_t>(m_defaults->integer(key(c)), 0);
}

std::string_view CleanupStats::key(Counter counter)
{
    switch (counter) {
    case Counter::totalBytesReclaimed:
        return kTotalBytesReclaimedKey;
    case Counter::totalItemsRemoved:
        return kTotalItemsRemovedKey;
    case Counter::totalAppsCleaned:
        return kTotalAppsCleanedKey;
    }
    return {};
}

std::int64_t CleanupStats::value(Counter counter) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_values[indexOf(counter)];
}

void CleanupStats::assign(Counter counter, std::int64_t value)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    value = std::max<std::int64_t>(value, 0);
    std::int64_t& slot = m_values[indexOf(counter)];
    if (slot == value)
        return;
    slot = value;
    m_observers.notify(counter);
}

void CleanupStats::record(std::int64_t bytes, std::int64_t items, std::int64_t apps)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (items < 1)
        return;
    assign(Counter::totalBytesReclaimed,
           saturatingAdd(totalBytesReclaimed(), std::max<std::int64_t>(bytes, 0)));
    assign(Counter::totalItemsRemoved, saturatingAdd(totalItemsRemoved(), items));
    assign(Counter::totalAppsCleaned,
           saturatingAdd(totalAppsCleaned(), std::max<std::int64_t>(apps, 0)));
    persist();
}

void CleanupStats::subtract(std::int64_t bytes, std::int64_t items, std::int64_t apps)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    assign(Counter::totalBytesReclaimed, flooredSubtract(totalBytesReclaimed(), bytes));
    assign(Counter::totalItemsRemoved, flooredSubtract(totalItemsRemoved(), items));
    assign(Counter::totalAppsCleaned,
           flooredSubtract(totalAppsCleaned(), std::max<std::int64_t>(apps, 0)));
    persist();
}

void CleanupStats::reset()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    for (Counter c : kCounters)
        assign(c, 0);
    persist();
}

void CleanupStats::persist() const
{
    // A failed write leaves the totals in force for this run; the defaults store keeps them in
    // memory and the next successful write saves them. One line per failed save.
    std::optional<Error> failure;
    for (Counter c : kCounters)
        if (Result<void> written = m_defaults->setInteger(key(c), value(c)); !written && !failure)
            failure = written.error();
    if (failure)
        platform::logError("statistics",
                           "The cleanup statistics couldn’t be saved; they hold until Veldo quits",
                           *failure);
}

CleanupStats::ObserverId CleanupStats::addObserver(std::function<void(Counter)> callback)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_observers.add(std::move(callback));
}

void CleanupStats::removeObserver(ObserverId id)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    m_observers.remove(id);
}

} // namespace veldo::core
