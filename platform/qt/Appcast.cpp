// The appcast reader.
#include "platform/qt/Appcast.h"

#include <QStringView>
#include <QUrl>
#include <QXmlStreamReader>

#include "base/BuildNumber.h"

namespace veldo::platform {

namespace {

constexpr QStringView kSparkleNamespace = u"http://www.andymatuschak.org/xml-namespaces/sparkle";
constexpr QLatin1StringView
    kSparkleNamespaceLatin1("http://www.andymatuschak.org/xml-namespaces/sparkle");

bool isSparkle(const QXmlStreamReader& reader, QStringView name)
{
    return reader.namespaceUri() == kSparkleNamespace && reader.name() == name;
}

bool isPlain(const QXmlStreamReader& reader, QStringView name)
{
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

QString webLink(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != u"https" && scheme != u"http")
        return {};
    return url.toString(QUrl::FullyEncoded);
}

struct RawItem
{
    QString version;
    QString enclosureVersion;
    QString shortVersion;
    QString enclosureShortVersion;
    QString link;
};

std::optional<AppcastItem> usableItem(const RawItem& raw)
{
    QString version = raw.version.trimmed();
    if (version.isEmpty())
        version = raw.enclosureVersion.trimmed();
    if (!base::isValidBuildNumber(version.toStdString()))
        return std::nullopt;
    QString shortVersion = raw.shortVersion.trimmed();
    if (shortVersion.isEmpty())
        shortVersion = raw.enclosureShortVersion.trimmed();
    if (shortVersion.isEmpty())
        shortVersion = version;
    return AppcastItem{version, shortVersion, webLink(raw.link)};
}

} // namespace

std::optional<std::vector<AppcastItem>> parseAppcast(const QByteArray& bytes)
{
    QXmlStreamReader reader(bytes);
    std::vector<AppcastItem> items;
    // Depth of the current element: 1 is rss, 2 channel, 3 item, 4 an item's field.
    int depth = 0;
    bool inChannel = false;
    bool inItem = false;
    RawItem raw;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                if (!isPlain(reader, u"rss"))
                    return std::nullopt;
            } else if (depth == 2) {
                inChannel = isPlain(reader, u"channel");
            } else if (depth == 3 && inChannel) {
                inItem = isPlain(reader, u"item");
                raw = {};
            } else if (depth == 4 && inItem) {
                if (isPlain(reader, u"enclosure")) {
                    const QXmlStreamAttributes attributes = reader.attributes();
                    raw.enclosureVersion =
                        attributes.value(kSparkleNamespaceLatin1, QLatin1StringView("version"))
                            .toString();
                    raw.enclosureShortVersion =
                        attributes
                            .value(kSparkleNamespaceLatin1, QLatin1StringView("shortVersionString"))
                            .toString();
                } else if (isSparkle(reader, u"version")) {
                    raw.version = reader.readElementText(QXmlStreamReader::SkipChildElements);
                    --depth;
                } else if (isSparkle(reader, u"shortVersionString")) {
                    raw.shortVersion = reader.readElementText(QXmlStreamReader::SkipChildElements);
                    --depth;
                } else if (isPlain(reader, u"link")) {
                    raw.link = reader.readElementText(QXmlStreamReader::SkipChildElements);
                    --depth;
                }
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 3 && inItem) {
                if (auto item = usableItem(raw))
                    items.push_back(std::move(*item));
                inItem = false;
            } else if (depth == 2) {
                inChannel = false;
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || depth != 0)
        return std::nullopt;
    return items;
}

std::optional<AppcastItem> newestAppcastItem(const std::vector<AppcastItem>& items)
{
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : items) {
        if (newest == nullptr ||
            base::compareBuilds(item.version.toStdString(), newest->version.toStdString()) > 0)
            newest = &item;
    }
    if (newest == nullptr)
        return std::nullopt;
    return *newest;
}

} // namespace veldo::platform
