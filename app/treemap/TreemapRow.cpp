// The squarified layout's row and its running measure.
#include "app/treemap/TreemapRow.h"

#include <algorithm>

namespace veldo::treemap {

TreemapRow::Measure TreemapRow::Measure::adding(double area) const
{
    if (count == 0)
        return Measure{1, area, area, area};
    return Measure{count + 1, sum + area, std::min(smallest, area), std::max(largest, area)};
}

void TreemapRow::append(const TreemapEntry& entry)
{
    m_entries.push_back(entry);
    m_measure = m_measure.adding(entry.area);
}

void TreemapRow::clear()
{
    m_entries.clear();
    m_measure = Measure{};
}

} // namespace veldo::treemap
