// Fuzzes the property-list reader (its pre-scan and libplist behind it): no input may crash it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)veldo::platform::parsePropertyList(bytes);
    return 0;
}
