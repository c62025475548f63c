// Reading the package identifier and install prefix of an installer receipt.
#include "app/leftovers/ReceiptInfo.h"

namespace veldo::leftovers {

std::optional<ReceiptInfo> readReceiptInfo(const platform::PlistValue& receipt)
{
    const auto* dictionary = receipt.asDictionary();
    if (!dictionary || dictionary->empty())
        return std::nullopt;
    auto identifier = receipt.stringFor("PackageIdentifier");
    if (!identifier)
        return std::nullopt;
    ReceiptInfo info;
    info.packageIdentifier = std::move(*identifier);
    if (auto prefix = receipt.stringFor("InstallPrefixPath"))
        info.installPrefixPath = prefix->starts_with('/') ? std::move(*prefix) : "/" + *prefix;
    return info;
}

} // namespace veldo::leftovers
