// The kit's behaviour: the banner animation and its switch, the busy indicator, the link button.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "app/ui/BusyIndicator.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/FileIconView.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SpringAnimation.h"
#include "app/ui/SystemColors.h"
#include "platform/PlistValue.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/EmptyStateTexts.h"

namespace veldo::ui {
namespace {

using testsupport::child;

class AnimationsOn
{
public:
    AnimationsOn() { setAnimationsEnabled(true); }
    ~AnimationsOn() { setAnimationsEnabled(false); }
};

TEST(SpringAnimation, OffChangesAtOnce)
{
    QWidget parent;
    auto* banner = new QWidget(&parent);
    banner->hide();
    withSpringAnimation(banner, true);
    EXPECT_FALSE(banner->isHidden());
    EXPECT_EQ(banner->graphicsEffect(), nullptr);
    withSpringAnimation(banner, false);
    EXPECT_TRUE(banner->isHidden());
}

TEST(SpringAnimation, OnFadesAndMovesForHalfASecondThenSettles)
{
    AnimationsOn on;
    QWidget parent;
    parent.resize(400, 300);
    auto* banner = new QWidget(&parent);
    banner->setGeometry(20, 40, 100, 30);
    parent.show();

    withSpringAnimation(banner, false);
    auto* group = banner->findChild<QParallelAnimationGroup*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->state(), QAbstractAnimation::Running);
    ASSERT_EQ(group->animationCount(), 2);
    QStringList properties;
    for (int i = 0; i < group->animationCount(); ++i) {
        auto* a = qobject_cast<QPropertyAnimation*>(group->animationAt(i));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->duration(), 500);
        EXPECT_EQ(a->easingCurve().type(), QEasingCurve::OutCubic);
        properties << QString::fromLatin1(a->propertyName());
    }
    EXPECT_EQ(properties, (QStringList{QStringLiteral("opacity"), QStringLiteral("pos")}));
    EXPECT_FALSE(banner->isHidden()) << "hidden only when the fade ends";

    group->setCurrentTime(group->totalDuration());
    EXPECT_TRUE(banner->isHidden());
    EXPECT_EQ(banner->pos(), QPoint(20, 40)) << "put back where its parent placed it";
    EXPECT_EQ(banner->graphicsEffect(), nullptr);

    // Showing again, then hiding before it ends: the last call decides.
    withSpringAnimation(banner, true);
    withSpringAnimation(banner, false);
    auto* last = banner->findChild<QParallelAnimationGroup*>();
    ASSERT_NE(last, nullptr);
    last->setCurrentTime(last->totalDuration());
    EXPECT_TRUE(banner->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(banner->findChildren<QParallelAnimationGroup*>().size(), 0);
}

TEST(BusyIndicator, TurnsOnlyWhileShownWithAnimations)
{
    {
        AnimationsOn on;
        BusyIndicator spinner;
        const QTimer* turns = child<QTimer>(spinner, "turnTimer");
        EXPECT_FALSE(turns->isActive());
        spinner.show();
        EXPECT_TRUE(turns->isActive());
        spinner.hide();
        EXPECT_FALSE(turns->isActive());
    }
    BusyIndicator still;
    still.show();
    EXPECT_FALSE(child<QTimer>(still, "turnTimer")->isActive());
}

TEST(EmptyStateView, ShowsItsTexts)
{
    EmptyStateView view("trash", QStringLiteral("No Leftovers"),
                        QStringLiteral("Nothing was left behind."));
    EXPECT_EQ(
        testsupport::emptyStateTexts(&view),
        (QStringList{QStringLiteral("No Leftovers"), QStringLiteral("Nothing was left behind.")}));
}

// A link is drawn in the accent only while it can be pressed, in both appearances.
TEST(SheetParts, ADisabledLinkButtonLosesItsAccent)
{
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        QWidget host;
        host.setPalette(SystemColors::palette(scheme));
        QPushButton* link = linkButton(QStringLiteral("Deselect All"), &host);
        link->adjustSize();
        const QColor accent = SystemColors::color(SystemColor::accent, scheme);
        const auto accentPixels = [&] {
            const QImage image = link->grab().toImage();
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    count += std::abs(c.red() - accent.red()) +
                                         std::abs(c.green() - accent.green()) +
                                         std::abs(c.blue() - accent.blue()) <
                                     60
                                 ? 1
                                 : 0;
                }
            return count;
        };
        EXPECT_GT(accentPixels(), 10);
        link->setEnabled(false);
        EXPECT_EQ(accentPixels(), 0);
    }
}

// The view shows the generic icon at once and the app's own once the provider has it, stretched
// to its edge.
TEST(FileIconView, PaintsTheProvidersIconAtItsSize)
{
    testsupport::FakeMac mac;
    mac.makeApp(
        platform::MacPath("/Applications/Red.app"),
        platform::PlistValue(platform::PlistValue::Dictionary{{"CFBundleIconFile", "Red"}}));
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QDir().mkpath(QString::fromStdString(
        mac.host(platform::MacPath("/Applications/Red.app/Contents/Resources"))));
    ASSERT_TRUE(red.save(QString::fromStdString(mac.host(platform::MacPath(
                             "/Applications/Red.app/Contents/Resources/Red.icns"))),
                         "ICNS"));
    platform::qt::AppIconProvider icons;
    FileIconView view(&icons, platform::MacPath("/Applications/Red.app"), 48);
    EXPECT_EQ(view.sizeHint(), QSize(48, 48));
    QSignalSpy ready(&icons, &platform::qt::AppIconProvider::iconReady);
    const QImage before = view.grab().toImage();
    EXPECT_NE(before.pixelColor(24, 24).rgb(), QColor(Qt::red).rgb());
    ASSERT_TRUE(ready.wait(5000));
    const QImage after = view.grab().toImage();
    EXPECT_EQ(after.pixelColor(2, 2).rgb(), QColor(Qt::red).rgb());
    EXPECT_EQ(after.pixelColor(45, 45).rgb(), QColor(Qt::red).rgb());
}

} // namespace
} // namespace veldo::ui
