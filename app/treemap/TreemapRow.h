// A row of the squarified layout being filled: its entries and what its worst aspect ratio needs.
//
// The row keeps its running sum and its smallest and largest area, so measuring it, or measuring
// it with one more entry, costs the same however long it is. The sum adds the areas in row order,
// so it is the very double a fresh left-to-right sum over the entries gives. Plain value, no
// sharing.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace veldo::treemap {

// A tile on its way through the layout: its index in the caller's list and its area in square
// points.
struct TreemapEntry
{
    std::size_t index = 0;
    double area = 0;
};

class TreemapRow
{
public:
    // How many entries, their sum and their extreme areas (all 0 for an empty row).
    struct Measure
    {
        std::size_t count = 0;
        double sum = 0;
        double smallest = 0;
        double largest = 0;

        // The measure of the same row followed by an entry of `area`.
        Measure adding(double area) const;
    };

    TreemapRow() = default;

    void append(const TreemapEntry& entry);
    // Empties the row; its storage stays for the next one.
    void clear();

    bool empty() const { return m_entries.empty(); }
    std::span<const TreemapEntry> entries() const { return m_entries; }
    const Measure& measure() const { return m_measure; }

private:
    std::vector<TreemapEntry> m_entries;
    Measure m_measure;
};

} // namespace veldo::treemap
