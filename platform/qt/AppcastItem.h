// AppcastItem: one release offered by an update feed.
#pragma once

#include <QString>

namespace veldo::platform {

struct AppcastItem
{
    QString version;            // the build number ("sparkle:version"), always a valid one
    QString shortVersionString; // the version shown to users; the build number when none given
    QString link;               // the release's web page (http or https only); empty when none
    friend bool operator==(const AppcastItem&, const AppcastItem&) = default;
};

} // namespace veldo::platform
