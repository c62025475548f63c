// Matching an installer receipt's identifier against an app's bundle identifier.
#include "app/leftovers/ReceiptMatch.h"

#include <string>

#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers {

namespace {

constexpr std::size_t kMinimumParts = 3;

bool beginsWithDotted(const std::string& text, const std::string& prefix)
{
    return text.size() > prefix.size() && text.starts_with(prefix) && text[prefix.size()] == '.';
}

} // namespace

ReceiptMatch matchReceipt(std::string_view packageIdentifier, std::string_view bundleIdentifier)
{
    const std::string receipt = platform::lowercased(packageIdentifier);
    const std::string app = platform::lowercased(bundleIdentifier);
    if (receipt.empty() || app.empty())
        return ReceiptMatch::none;
    if (receipt == app)
        return ReceiptMatch::direct;
    if (dotSeparatedPartCount(app) >= kMinimumParts && beginsWithDotted(receipt, app))
        return ReceiptMatch::direct;
    if (dotSeparatedPartCount(receipt) < kMinimumParts)
        return ReceiptMatch::none;
    if (beginsWithDotted(app, receipt))
        return ReceiptMatch::parent;
    return ReceiptMatch::none;
}

} // namespace veldo::leftovers
