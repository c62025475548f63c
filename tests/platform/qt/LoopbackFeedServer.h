// LoopbackFeedServer: a minimal HTTP/1.1 server on 127.0.0.1 (or another address of this
// computer) for update-check tests.
//
// It counts connections, keeps each request's head, and answers every request with the one
// configured response, then closes the connection. A stalling server reads the request and
// never answers. Runs on the test's event loop.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

namespace veldo::testsupport {

class LoopbackFeedServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool declareLength = true; // without it, the body ends when the connection closes
        bool stall = false;
    };

    explicit LoopbackFeedServer(
        const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));

    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port><path>".
    QString url(const QString& path = QStringLiteral("/appcast.xml")) const;

    void setResponse(Response response) { m_response = std::move(response); }
    int connections() const { return m_connections; }
    const QList<QByteArray>& requests() const { return m_requests; }

private:
    void accept();

    QTcpServer m_server;
    Response m_response;
    int m_connections = 0;
    QList<QByteArray> m_requests;
};

} // namespace veldo::testsupport
