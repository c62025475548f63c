// HeapPeak: how many heap bytes a piece of code held at most, measured in the test's own process.
//
// The test executables that list HeapPeak.cpp among their sources replace the global operator
// new and delete with versions that count the usable size of every live block. Blocks that
// libstdc++ allocates with an alignment of its own, and memory taken straight from malloc, are
// not counted. The counters are process-wide: measure while no other thread allocates.
#pragma once

#include <cstddef>

namespace veldo::testsupport {

class HeapPeak
{
public:
    // Starts a measurement at the bytes live now.
    HeapPeak();

    // The most bytes live at once since the start, less those live at the start.
    std::size_t peakAboveStart() const;

private:
    std::size_t m_start = 0;
};

} // namespace veldo::testsupport
