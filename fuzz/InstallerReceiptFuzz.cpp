// Fuzzes the reading of installer receipts (property-list bytes → package identifier and
// install prefix): the prefix always begins with "/", and the information written back as a
// receipt reads as the same information.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/leftovers/ReceiptInfo.h"
#include "fuzz/FuzzCheck.h"
#include "platform/PropertyList.h"

using veldo::platform::PlistValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto value = veldo::platform::parsePropertyList(bytes);
    if (!value)
        return 0;
    const auto info = veldo::leftovers::readReceiptInfo(*value);
    if (!info)
        return 0;
    FUZZ_CHECK(info->installPrefixPath.starts_with('/'));
    const PlistValue written(PlistValue::Dictionary{
        {"PackageIdentifier", info->packageIdentifier},
        {"InstallPrefixPath", info->installPrefixPath},
    });
    const auto again = veldo::leftovers::readReceiptInfo(written);
    FUZZ_CHECK(again && *again == *info);
    return 0;
}
