// Accessibility announcements through Alert events.
#include "platform/qt/Announcer.h"

#include <QAccessible>
#include <QAccessibleEvent>

namespace veldo::platform::qt {

namespace {
Announcer::Recorder* g_recorder = nullptr;
}

Announcer::Recorder::Recorder()
{
    Q_ASSERT(g_recorder == nullptr);
    g_recorder = this;
}

Announcer::Recorder::~Recorder()
{
    g_recorder = nullptr;
}

void Announcer::announce(QWidget* widget, const QString& text)
{
    if (widget == nullptr)
        return;
    widget->setAccessibleDescription(text);
    QAccessibleEvent event(widget, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
    if (g_recorder != nullptr)
        g_recorder->m_log.append(text);
}

} // namespace veldo::platform::qt
