// The loopback HTTP server of the update-check tests.
#include "tests/platform/qt/LoopbackFeedServer.h"

#include <QTcpSocket>

namespace veldo::testsupport {

LoopbackFeedServer::LoopbackFeedServer(const QHostAddress& address)
{
    m_server.listen(address, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackFeedServer::accept);
}

QString LoopbackFeedServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void LoopbackFeedServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto head = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            *head += socket->readAll();
            const qsizetype end = head->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            m_requests.push_back(head->left(end));
            head->clear();
            if (m_response.stall)
                return;
            QByteArray answer = "HTTP/1.1 " + QByteArray::number(m_response.status) + " Answer\r\n";
            if (m_response.declareLength)
                answer += "Content-Length: " + QByteArray::number(m_response.body.size()) + "\r\n";
            for (const auto& [name, value] : m_response.headers)
                answer += name + ": " + value + "\r\n";
            answer += "Connection: close\r\n\r\n" + m_response.body;
            socket->write(answer);
            socket->disconnectFromHost();
        });
    }
}

} // namespace veldo::testsupport
