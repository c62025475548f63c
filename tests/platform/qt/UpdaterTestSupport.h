// Helpers of the updater tests: a user driver that records what it is asked to show, and a
// small appcast writer.
#pragma once

#include <initializer_list>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/qt/UpdaterUserDriver.h"

namespace veldo::testsupport {

class RecordingUserDriver : public platform::UpdaterUserDriver
{
public:
    struct Shown
    {
        enum class Kind
        {
            upToDate,
            update,
            error
        } kind;
        QString text; // the installed version, or the error sentence
        platform::AppcastItem update;
    };

    void showUpToDate(const QString& installedVersion) override
    {
        shown.push_back({Shown::Kind::upToDate, installedVersion, {}});
    }
    void showUpdateFound(const platform::AppcastItem& item,
                         const QString& installedVersion) override
    {
        shown.push_back({Shown::Kind::update, installedVersion, item});
    }
    void showUpdaterError(const QString& sentence) override
    {
        shown.push_back({Shown::Kind::error, sentence, {}});
    }

    std::vector<Shown> shown;
};

// One release of a feed: its build number in the item's element, its short version and link.
struct FeedRelease
{
    const char* version;
    const char* shortVersion;
    const char* link;
};

inline QByteArray appcastXml(std::initializer_list<FeedRelease> releases)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Veldo</title>
)";
    for (const FeedRelease& release : releases) {
        xml += "<item><title>Veldo</title><link>" + QByteArray(release.link) +
               "</link><sparkle:version>" + QByteArray(release.version) +
               "</sparkle:version><sparkle:shortVersionString>" + QByteArray(release.shortVersion) +
               "</sparkle:shortVersionString></item>\n";
    }
    xml += "</channel></rss>\n";
    return xml;
}

} // namespace veldo::testsupport
