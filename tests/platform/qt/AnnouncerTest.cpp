// Announcements: the accessible description carries the text; a recorder sees each one.
#include "platform/qt/Announcer.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace veldo::platform::qt {
namespace {

TEST(Announcer, SetsTheDescriptionAndLogsOnlyWhileRecorded)
{
    QWidget banner;
    Announcer::announce(&banner, QStringLiteral("before"));
    EXPECT_EQ(banner.accessibleDescription(), QStringLiteral("before"));
    {
        Announcer::Recorder recorder;
        Announcer::announce(&banner, QStringLiteral("Moved to Trash. Nothing needed moving"));
        Announcer::announce(nullptr, QStringLiteral("nobody"));
        EXPECT_EQ(recorder.announcements(),
                  QStringList{QStringLiteral("Moved to Trash. Nothing needed moving")});
    }
    Announcer::Recorder later;
    EXPECT_TRUE(later.announcements().isEmpty());
}

} // namespace
} // namespace veldo::platform::qt
