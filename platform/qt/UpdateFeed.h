// Where the updater looks for updates, and which feed addresses it accepts.
//
// The feed is the "SUFeedURL" text of Veldo's own Info.plist (platform::mainBundleURL() +
// "Contents/Info.plist"), else kDefaultFeedUrl. Accepted addresses: https to any host; http only
// to this computer, named by a literal loopback address (127.0.0.0/8 or ::1) or by the name
// "localhost" — never by another name, whatever it resolves to, so no resolver or hosts file
// can turn a plain-http feed into a remote one; file, whose path is a Mac path (read through the
// Mac root). A user name or password in the address is refused, as is every other scheme.
// Pure functions apart from bundleInfo(), which reads the file; any thread.
#pragma once

#include <optional>

#include <QString>
#include <QUrl>

#include "platform/PlistValue.h"
#include "platform/qt/UpdateCheckError.h"

namespace veldo::platform {

inline constexpr const char* kDefaultFeedUrl = "https://updates.orbelkan.com/veldo/appcast.xml";

// Veldo's own Info.plist; none when it is missing or unreadable.
std::optional<PlistValue> bundleInfo();

// The text of a string value under `key` of an Info.plist dictionary; empty otherwise.
QString infoString(const std::optional<PlistValue>& info, const char* key);

// The feed address named by the Info.plist (`info`), else the built-in one.
QString configuredFeedUrl(const std::optional<PlistValue>& info);

// Parses and checks a feed address: the URL when accepted, else why it is refused.
struct FeedAddress
{
    QUrl url;
    std::optional<UpdateCheckError> refusal;
};
FeedAddress checkFeedAddress(const QString& text);

} // namespace veldo::platform
