// Announcer: accessibility announcements of text that appears without the user asking.
//
// Qt has no announcement call: the text becomes the widget's accessible description and an
// Alert event is posted for it, which screen readers speak. While a Recorder lives, every
// announcement is also appended to its log, which tests read. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

namespace veldo::platform::qt {

class Announcer
{
public:
    static void announce(QWidget* widget, const QString& text);

    // Records the announcements made while it lives (one recorder at a time).
    class Recorder
    {
    public:
        Recorder();
        ~Recorder();
        Recorder(const Recorder&) = delete;
        Recorder& operator=(const Recorder&) = delete;

        const QStringList& announcements() const { return m_log; }
        void clear() { m_log.clear(); }

    private:
        friend class Announcer;
        QStringList m_log;
    };
};

} // namespace veldo::platform::qt
