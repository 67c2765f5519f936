#pragma once

#include <QByteArrayList>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// An HTTP server on 127.0.0.1 whose every answer the test writes itself: a handler gets the
// socket and the request target once the request head has arrived, and may answer, answer in
// part, stall or drop the connection. The targets asked for are kept in order.
class ScriptedHttpServer final : public QObject
{
public:
    using Handler = std::function<void(QTcpSocket& socket, const QByteArray& target)>;

    explicit ScriptedHttpServer(Handler handler)
        : m_handler(std::move(handler))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_server.serverPort(); }
    QString authority() const { return QStringLiteral("127.0.0.1:") + QString::number(port()); }
    const QByteArrayList& targets() const { return m_targets; }

    static QByteArray response(const QByteArray& status, const QByteArray& body, const QByteArray& headers = {})
    {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers
            + "Connection: close\r\n\r\n" + body;
    }

    // Answers with the body and closes the connection.
    static void answer(QTcpSocket& socket, const QByteArray& status, const QByteArray& body)
    {
        socket.write(response(status, body));
        socket.disconnectFromHost();
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(*socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket& socket)
    {
        QByteArray head = socket.property("head").toByteArray() + socket.readAll();
        socket.setProperty("head", head);
        if (socket.property("answered").toBool() || !head.contains("\r\n\r\n"))
            return;
        socket.setProperty("answered", true);
        const QByteArrayList requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QByteArray target = requestLine.value(1);
        m_targets.append(target);
        m_handler(socket, target);
    }

    QTcpServer m_server;
    Handler m_handler;
    QByteArrayList m_targets;
};
