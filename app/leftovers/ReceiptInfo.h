// ReceiptInfo: what the reader takes from an installer receipt's property list.
#pragma once

#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace veldo::leftovers {

struct ReceiptInfo
{
    std::string packageIdentifier;
    // Where the package's bill-of-materials paths are rooted; "/" when the receipt names none.
    // Always begins with "/".
    std::string installPrefixPath = "/";

    friend bool operator==(const ReceiptInfo&, const ReceiptInfo&) = default;
};

// The receipt information of a receipt's top-level value: none unless it is a non-empty
// dictionary whose "PackageIdentifier" is a string. "InstallPrefixPath" is taken when it is a
// string (with "/" put in front when it lacks one), else "/". Pure.
std::optional<ReceiptInfo> readReceiptInfo(const platform::PlistValue& receipt);

} // namespace veldo::leftovers
