// SingleInstance: the local socket through which a second start hands over its paths.
#include "app/ui/SingleInstance.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "base/UniqueFd.h"
#include "platform/MacRoot.h"

namespace veldo::ui {

namespace {

constexpr char kAcknowledgement = '1';
constexpr int kLengthBytes = 4;

// A folder that only we can use: ours, not a link, closed to group and others.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat status
    {
    };
    if (::lstat(path.constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

timeval toTimeval(std::chrono::milliseconds timeout)
{
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    return value;
}

bool fillAddress(const QByteArray& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

bool peerIsOurUser(int fd)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::getuid();
}

quint32 readLength(const QByteArray& bytes)
{
    quint32 length = 0;
    for (int i = 0; i < kLengthBytes; ++i)
        length = (length << 8) | static_cast<quint8>(bytes[i]);
    return length;
}

} // namespace

std::optional<QStringList> decodeInstanceMessage(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 count = 0;
    in >> count;
    // Every string takes at least its four length bytes: a larger count cannot be true, and
    // believing it would reserve memory the message never fills.
    if (in.status() != QDataStream::Ok || count > static_cast<quint32>(bytes.size() / 4))
        return std::nullopt;
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(count));
    for (quint32 i = 0; i < count; ++i) {
        QString path;
        in >> path;
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        paths.push_back(std::move(path));
    }
    if (!in.atEnd())
        return std::nullopt;
    return paths;
}

QByteArray encodeInstanceMessage(const QStringList& paths)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << paths;
    }
    QByteArray message;
    const auto length = static_cast<quint32>(payload.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        message.push_back(static_cast<char>((length >> shift) & 0xff));
    message.append(payload);
    return message;
}

Result<QString> SingleInstance::serverName()
{
    const std::string root = platform::macRoot();
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(root), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    const QString name =
        QStringLiteral("veldo-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) &&
        isPrivateFolder(QFile::encodeName(runtime)))
        return QDir(runtime).filePath(name);
    const QString folder =
        QDir(QDir::tempPath()).filePath(QStringLiteral("veldo-%1").arg(::getuid()));
    const QByteArray encoded = QFile::encodeName(folder);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return Error::fromErrno(errno, encoded.toStdString());
    if (!isPrivateFolder(encoded))
        return Error::fromErrno(EACCES, encoded.toStdString());
    return QDir(folder).filePath(name);
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_server(new QLocalServer(this))
{
    m_server->setObjectName(QStringLiteral("server"));
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::Start SingleInstance::start(const QStringList& paths,
                                            std::chrono::milliseconds timeout)
{
    // Starts serialise on a lock beside the name, so two starts never both take a free name.
    const QByteArray lockPath = QFile::encodeName(m_name + QStringLiteral(".lock"));
    base::UniqueFd lock(
        ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.valid())
        return Start::failed;
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return Start::failed;
    const int sent = send(m_name, paths, timeout);
    if (sent == 0)
        return Start::handedOver;
    if (sent != ECONNREFUSED && sent != ENOENT)
        return Start::failed;
    return listen(true) ? Start::serving : Start::failed;
}

int SingleInstance::send(const QString& name, const QStringList& paths,
                         std::chrono::milliseconds timeout)
{
    sockaddr_un address{};
    if (!fillAddress(QFile::encodeName(name), address))
        return ENAMETOOLONG;
    base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return errno;
    const timeval limit = toTimeval(timeout);
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) != 0 ||
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) != 0)
        return errno;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return errno;
    if (!peerIsOurUser(fd.get()))
        return EPERM;
    const QByteArray message = encodeInstanceMessage(paths);
    qsizetype written = 0;
    while (written < message.size()) {
        const ssize_t n = ::send(fd.get(), message.constData() + written,
                                 static_cast<std::size_t>(message.size() - written), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += n;
    }
    char answer = 0;
    for (;;) {
        const ssize_t n = ::recv(fd.get(), &answer, 1, 0);
        if (n == 1)
            return answer == kAcknowledgement ? 0 : EPROTO;
        if (n == 0)
            return EPROTO;
        if (errno != EINTR)
            return errno;
    }
}

bool SingleInstance::listen(bool takeOver)
{
    if (takeOver)
        QLocalServer::removeServer(m_name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    return m_server->listen(m_name);
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsOurUser(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        QTimer::singleShot(kConnectionTimeout, socket, [socket] { socket->abort(); });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() < kLengthBytes)
                return;
            const quint32 length = readLength(*buffer);
            if (length > kMaxMessageBytes || buffer->size() > kLengthBytes + qsizetype(length)) {
                socket->abort();
                return;
            }
            if (buffer->size() < kLengthBytes + qsizetype(length))
                return;
            std::optional<QStringList> paths = decodeInstanceMessage(buffer->mid(kLengthBytes));
            if (!paths) {
                socket->abort();
                return;
            }
            socket->write(&kAcknowledgement, 1);
            socket->flush();
            socket->disconnectFromServer();
            emit pathsReceived(*paths);
        });
    }
}

} // namespace veldo::ui
