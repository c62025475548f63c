// SingleInstance: one running Veldo per user and Mac root. A second start hands the paths it
// was given to the running instance and ends.
//
// The running instance serves a local socket at a full path: in $XDG_RUNTIME_DIR when that is
// set, else in a folder of ours (0700, owned by us, not a link) under the temporary folder, named
// from the user id and a hash of the Mac root. The socket is open to the user only, and a
// connection is served only when its peer runs under our own user id (SO_PEERCRED). A message is
// a QStringList in a QDataStream, sent whole, after which the sender shuts its writing side and
// waits for one byte of acknowledgement. A message that is malformed, larger than
// kMaxMessageBytes or not complete within kConnectionTimeout is dropped; the server keeps
// serving. A name is taken over only when connecting to it fails with ECONNREFUSED or ENOENT
// (nobody listens); any other failure (a busy server) leaves it alone. GUI thread.
#pragma once

#include <chrono>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "base/Result.h"

class QLocalServer;

namespace veldo::ui {

class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxMessageBytes = 1 << 20;
    static constexpr std::chrono::milliseconds kConnectionTimeout{5000};
    static constexpr std::chrono::milliseconds kSendTimeout{2000};

    enum class Start
    {
        serving,    // this process is the running instance
        handedOver, // a running instance took the paths
        failed      // neither: another instance holds the name but did not answer
    };

    // This user's and this Mac root's server path. Fails when no private folder can be had.
    static Result<QString> serverName();

    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // Hands `paths` to the instance serving the name, or serves it when nobody does.
    Start start(const QStringList& paths, std::chrono::milliseconds timeout = kSendTimeout);

    // Sends `paths` to the instance serving `name` and waits for its acknowledgement. Answers 0,
    // or the errno of the step that failed (ECONNREFUSED or ENOENT: nobody serves the name).
    static int send(const QString& name, const QStringList& paths,
                    std::chrono::milliseconds timeout = kSendTimeout);

    // Serves the name (removing a stale one first when `takeOver`). Answers whether it listens.
    bool listen(bool takeOver);

signals:
    // A message from another instance: its paths, in order.
    void pathsReceived(const QStringList& paths);

private:
    void acceptConnections();

    QString m_name;
    QLocalServer* m_server;
};

// The paths of a message; none when it is not a complete, well-formed QStringList.
std::optional<QStringList> decodeInstanceMessage(const QByteArray& bytes);
QByteArray encodeInstanceMessage(const QStringList& paths);

} // namespace veldo::ui
