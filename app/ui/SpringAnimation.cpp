// Banner and overlay animations.
#include "app/ui/SpringAnimation.h"

#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>

namespace veldo::ui {

namespace {

bool g_enabled = true;
constexpr const char* kAnimationName = "veldoSpringAnimation";

void stopRunning(QWidget* widget)
{
    if (auto* running = widget->findChild<QParallelAnimationGroup*>(
            QString::fromLatin1(kAnimationName), Qt::FindDirectChildrenOnly)) {
        running->stop();
        delete running;
    }
}

} // namespace

void setAnimationsEnabled(bool enabled)
{
    g_enabled = enabled;
}

bool animationsEnabled()
{
    return g_enabled;
}

void withSpringAnimation(QWidget* widget, bool visible)
{
    if (widget == nullptr)
        return;
    const bool running =
        widget->findChild<QParallelAnimationGroup*>(QString::fromLatin1(kAnimationName),
                                                    Qt::FindDirectChildrenOnly) != nullptr;
    if (!running && widget->isHidden() != visible)
        return;
    stopRunning(widget);
    if (!g_enabled) {
        widget->setGraphicsEffect(nullptr);
        widget->setVisible(visible);
        return;
    }

    auto* effect = new QGraphicsOpacityEffect(widget);
    widget->setGraphicsEffect(effect);
    auto* group = new QParallelAnimationGroup(widget);
    group->setObjectName(QString::fromLatin1(kAnimationName));

    auto* fade = new QPropertyAnimation(effect, "opacity", group);
    fade->setDuration(static_cast<int>(kSpringDuration.count()));
    fade->setEasingCurve(QEasingCurve::OutCubic);
    fade->setStartValue(visible ? 0.0 : 1.0);
    fade->setEndValue(visible ? 1.0 : 0.0);
    group->addAnimation(fade);

    const QPoint place = widget->pos();
    auto* move = new QPropertyAnimation(widget, "pos", group);
    move->setDuration(static_cast<int>(kSpringDuration.count()));
    move->setEasingCurve(QEasingCurve::OutCubic);
    move->setStartValue(visible ? place - QPoint(0, kSpringRise) : place);
    move->setEndValue(visible ? place : place - QPoint(0, kSpringRise));
    group->addAnimation(move);

    QPointer<QWidget> guard(widget);
    QObject::connect(group, &QAbstractAnimation::finished, widget, [group, guard, visible, place] {
        group->setParent(nullptr); // ended and deleted later: no longer the widget's animation
        if (!guard)
            return;
        if (!visible) {
            guard->hide();
            guard->move(place);
        }
        guard->setGraphicsEffect(nullptr);
    });
    if (visible)
        widget->show();
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace veldo::ui
