// Reveal through the freedesktop file-manager interface, with an xdg-open fallback.
#include "platform/qt/FileManagerReveal.h"

#include <memory>
#include <utility>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include "platform/MacRoot.h"

namespace veldo::platform::qt {

namespace {
FileManagerReveal::Recorder* g_recorder = nullptr;
}

FileManagerReveal::Recorder::Recorder()
{
    Q_ASSERT(g_recorder == nullptr);
    g_recorder = this;
}

FileManagerReveal::Recorder::~Recorder()
{
    g_recorder = nullptr;
}

FileManagerReveal::FileManagerReveal(QDBusConnection bus, std::chrono::milliseconds timeout,
                                     Launcher launcher, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_timeout(timeout), m_launcher(std::move(launcher))
{
    if (!m_launcher)
        m_launcher = [](const QString& program, const QStringList& arguments) {
            QProcess::startDetached(program, arguments);
        };
}

void FileManagerReveal::reveal(const std::vector<MacPath>& items)
{
    if (items.empty())
        return;
    QStringList hostPaths;
    QStringList uris;
    for (const MacPath& item : items) {
        const QString host = QString::fromStdString(hostPath(item));
        hostPaths.append(host);
        uris.append(QUrl::fromLocalFile(host).toString(QUrl::FullyEncoded));
    }
    if (g_recorder != nullptr) {
        g_recorder->m_reveals.push_back(hostPaths);
        return;
    }
    if (!m_bus.isConnected()) {
        openParentFolders(hostPaths);
        emit finished(false);
        return;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // The bus's own time-out is a little longer than ours, so ours always decides.
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call, static_cast<int>(m_timeout.count()) + 1000), this);
    auto* timer = new QTimer(watcher);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    auto settled = std::make_shared<bool>(false);
    const auto settle = [this, watcher, hostPaths, settled](bool answered) {
        if (*settled)
            return;
        *settled = true;
        if (!answered)
            openParentFolders(hostPaths);
        watcher->deleteLater();
        emit finished(answered);
    };
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [settle](QDBusPendingCallWatcher* w) { settle(!w->isError()); });
    connect(timer, &QTimer::timeout, this, [settle] { settle(false); });
    timer->start(m_timeout);
}

void FileManagerReveal::openParentFolders(const QStringList& hostPaths)
{
    QStringList folders;
    for (const QString& path : hostPaths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString& folder : folders)
        m_launcher(QStringLiteral("xdg-open"), {folder});
}

} // namespace veldo::platform::qt
