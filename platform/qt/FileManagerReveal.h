// FileManagerReveal: shows items in the desktop's file manager ("Reveal in Finder").
//
// reveal() returns at once: it sends org.freedesktop.FileManager1.ShowItems with the items' host
// file URIs on the given bus and waits for the answer in the event loop. When the bus is not
// connected, the call fails, or no answer comes within the time-out, it opens each distinct
// parent folder with xdg-open instead, detached. While a Recorder lives, reveal() only records
// the host paths. GUI thread only.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/MacPath.h"

namespace veldo::platform::qt {

class FileManagerReveal final : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

    // Starts a program detached; the default is QProcess::startDetached.
    using Launcher = std::function<void(const QString& program, const QStringList& arguments)>;

    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               std::chrono::milliseconds timeout = kDefaultTimeout,
                               Launcher launcher = {}, QObject* parent = nullptr);

    // Nothing happens for an empty list.
    void reveal(const std::vector<MacPath>& items);

    // The fallback: xdg-open of each distinct parent folder, in first-seen order.
    void openParentFolders(const QStringList& hostPaths);

    class Recorder
    {
    public:
        Recorder();
        ~Recorder();
        Recorder(const Recorder&) = delete;
        Recorder& operator=(const Recorder&) = delete;

        // One entry per reveal() call: the host paths.
        const std::vector<QStringList>& reveals() const { return m_reveals; }

    private:
        friend class FileManagerReveal;
        std::vector<QStringList> m_reveals;
    };

signals:
    // After each reveal: whether the file manager answered, or the fallback ran.
    void finished(bool shownByFileManager);

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    Launcher m_launcher;
};

} // namespace veldo::platform::qt
