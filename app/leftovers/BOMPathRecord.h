// BOMPathRecord: what a bill of materials stores for one path identifier of its "Paths" tree.
#pragma once

#include <cstdint>
#include <string>

namespace veldo::leftovers {

struct BOMPathRecord
{
    std::uint32_t parent = 0; // identifier of the enclosing folder's record; 0 at the top
    std::string name;         // this component alone, decoded as UTF-8 (bad bytes become U+FFFD)
    bool isFile = true;

    friend bool operator==(const BOMPathRecord&, const BOMPathRecord&) = default;
};

} // namespace veldo::leftovers
