// Fuzzes the inventory file reader: it accepts exactly the lengths 2 + 64 n with format 4, and
// an inventory it reads encodes to bytes that read back as the same inventory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/HelperItemInventory.h"
#include "fuzz/FuzzCheck.h"

using veldo::common::HelperItemInventory;

namespace {

bool sameInventory(const HelperItemInventory& a, const HelperItemInventory& b)
{
    return a.entries == b.entries && a.isComplete == b.isComplete &&
           a.foldersGranted == b.foldersGranted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto inventory = HelperItemInventory::fromBytes(std::span(data, size));
    const bool wellFormed =
        size >= HelperItemInventory::kHeaderSize && data[0] == HelperItemInventory::kFormat &&
        (size - HelperItemInventory::kHeaderSize) % HelperItemInventory::kRecordSize == 0;
    FUZZ_CHECK(inventory.has_value() == wellFormed);
    if (!inventory)
        return 0;
    FUZZ_CHECK(inventory->entries.size() <=
               (size - HelperItemInventory::kHeaderSize) / HelperItemInventory::kRecordSize);
    const auto bytes = inventory->encoded();
    FUZZ_CHECK(bytes.size() == HelperItemInventory::kHeaderSize +
                                   inventory->entries.size() * HelperItemInventory::kRecordSize);
    const auto again = HelperItemInventory::fromBytes(bytes);
    FUZZ_CHECK(again && sameInventory(*again, *inventory));
    return 0;
}
