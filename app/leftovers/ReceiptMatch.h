// ReceiptMatch: how an installer receipt relates to an app, judged by their identifiers.
#pragma once

#include <string_view>

namespace veldo::leftovers {

enum class ReceiptMatch
{
    none,   // another package
    direct, // the app's own package (or one of its sub-packages)
    parent, // a package whose identifier is a parent of the app's: its paths count only when
            // they list the app itself
};

// Compares the receipt's package identifier with the app's bundle identifier, letter case
// ignored: either empty gives none; equal gives direct; a receipt identifier that begins with
// the app's and "." gives direct when the app's has at least three parts; a receipt identifier
// of fewer than three parts gives none; an app identifier that begins with the receipt's and
// "." gives parent. Parts are split at "." with empty parts ignored. Pure.
ReceiptMatch matchReceipt(std::string_view packageIdentifier, std::string_view bundleIdentifier);

} // namespace veldo::leftovers
