// Reading an appcast: the RSS document an update feed serves, one item per release.
//
// Each item (rss/channel/item) gives its build number in a "sparkle:version" element or, failing
// that, in the "sparkle:version" attribute of its enclosure; likewise its
// "sparkle:shortVersionString"; and its page in a "link" element. Items without a build number, or
// whose build number is not one (base/BuildNumber.h), are left out; a link that is not an http or
// https address is dropped, so a feed can never make Veldo open a local file or another program.
// The reader is a streaming parser (no recursion, so any depth of nesting is safe) and expands no
// external entities. Pure functions; any thread.
#pragma once

#include <optional>
#include <vector>

#include <QByteArray>

#include "platform/qt/AppcastItem.h"

namespace veldo::platform {

// The feed's usable items in document order; none when the bytes are not well-formed XML or
// the document is not an RSS document.
std::optional<std::vector<AppcastItem>> parseAppcast(const QByteArray& bytes);

// The item with the highest build number (the first of equals); none for no items.
std::optional<AppcastItem> newestAppcastItem(const std::vector<AppcastItem>& items);

} // namespace veldo::platform
