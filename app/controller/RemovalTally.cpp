// RemovalTally: the moves of a removal's steps, added on the pool's threads.
#include "app/controller/RemovalTally.h"

#include <utility>

namespace veldo::controller {

void RemovalTally::add(const Totals& moved)
{
    const std::scoped_lock lock(m_mutex);
    m_totals.bytes += moved.bytes;
    m_totals.items += moved.items;
    m_totals.apps += moved.apps;
}

RemovalTally::Totals RemovalTally::take()
{
    const std::scoped_lock lock(m_mutex);
    return std::exchange(m_totals, {});
}

} // namespace veldo::controller
