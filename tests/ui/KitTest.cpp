// The kit's behaviour: the banner animation and its switch, the busy indicator.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include "app/ui/BusyIndicator.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/SpringAnimation.h"

namespace veldo::ui {
namespace {

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
        EXPECT_FALSE(spinner.isTurning());
        spinner.show();
        EXPECT_TRUE(spinner.isTurning());
        spinner.hide();
        EXPECT_FALSE(spinner.isTurning());
    }
    BusyIndicator still;
    still.show();
    EXPECT_FALSE(still.isTurning());
}

TEST(EmptyStateView, ShowsItsTexts)
{
    EmptyStateView view("trash", QStringLiteral("No Leftovers"),
                        QStringLiteral("Nothing was left behind."));
    EXPECT_EQ(view.title(), QStringLiteral("No Leftovers"));
    EXPECT_EQ(view.description(), QStringLiteral("Nothing was left behind."));
}

} // namespace
} // namespace veldo::ui
