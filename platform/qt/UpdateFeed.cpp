// The feed address rules.
#include "platform/qt/UpdateFeed.h"

#include <QHostAddress>

#include "platform/MainBundle.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

// Loopback by its literal form only: no name is resolved.
bool isLoopbackHost(const QString& host)
{
    if (host == u"localhost")
        return true;
    QHostAddress address;
    if (!address.setAddress(host))
        return false;
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return (address.toIPv4Address() >> 24) == 127;
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

FeedAddress refused(QUrl url, UpdateCheckError why)
{
    return FeedAddress{std::move(url), why};
}

} // namespace

std::optional<PlistValue> bundleInfo()
{
    return readPropertyListFile(mainBundleURL().appendingPathComponent("Contents/Info.plist"),
                                1024u * 1024u);
}

QString infoString(const std::optional<PlistValue>& info, const char* key)
{
    if (!info || !info->asDictionary())
        return {};
    const auto& dictionary = *info->asDictionary();
    const auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.asString())
        return {};
    return QString::fromStdString(*it->second.asString());
}

QString configuredFeedUrl(const std::optional<PlistValue>& info)
{
    const QString configured = infoString(info, "SUFeedURL").trimmed();
    return configured.isEmpty() ? QString::fromLatin1(kDefaultFeedUrl) : configured;
}

FeedAddress checkFeedAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return refused(url, UpdateCheckError::invalidFeedUrl);
    if (!url.userInfo().isEmpty())
        return refused(url, UpdateCheckError::credentialsInFeedUrl);
    const QString scheme = url.scheme().toLower();
    if (scheme == u"file") {
        if (!url.host().isEmpty() || !url.path().startsWith(u'/'))
            return refused(url, UpdateCheckError::invalidFeedUrl);
        return FeedAddress{url, std::nullopt};
    }
    if (scheme != u"https" && scheme != u"http")
        return refused(url, UpdateCheckError::insecureFeedUrl);
    if (url.host().isEmpty())
        return refused(url, UpdateCheckError::invalidFeedUrl);
    if (scheme == u"http" && !isLoopbackHost(url.host()))
        return refused(url, UpdateCheckError::insecureFeedUrl);
    return FeedAddress{url, std::nullopt};
}

} // namespace veldo::platform
