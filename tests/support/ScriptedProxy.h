#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// A proxy, or something posing as one, on an address of its own in 127.0.0.0/8; the test picks
// its kind. The kinds that carry requests connect onward from a second loopback address of their
// own, so a judge sees the request come from there and not from the checker.
class ScriptedProxy final : public QTcpServer
{
public:
    enum class Kind {
        Relay, // HTTP: passes a GET on as it came, in origin form
        RelayVia, // and adds a Via header
        RelayForwardedFor, // and adds X-Forwarded-For with the client's address
        Basic, // a relay that wants the login user:secret (407 without it)
        ConnectOnly, // tunnels with CONNECT; 405 to anything else
        Socks5, // SOCKS5 without a login
        Socks5Login, // SOCKS5 that wants the login user:secret
        Socks4Patient, // SOCKS4 that reads its whole request before it answers
        WebServer, // no proxy: its own page, status 200, to every request
        EchoRequest, // a web server that echoes the raw request
        TalksFirst, // a judge's page the moment a connection opens, before any request
        Drip, // a relay that sends the answer a byte every 50 ms
        Silent, // accepts and never answers
    };

    ScriptedProxy(Kind kind, const QString& address, const QString& exitAddress = {})
        : m_kind(kind)
        , m_exit(exitAddress)
    {
        listen(QHostAddress(address), 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = nextPendingConnection()) {
                connect(client, &QTcpSocket::disconnected, this, [this, client] {
                    m_pending.remove(client);
                    client->deleteLater();
                });
                connect(client, &QTcpSocket::readyRead, client, [this, client] { read(client); });
                const QByteArray page = "REMOTE_ADDR = 127.0.0.9\nREQUEST_URI = /?check=\n";
                if (m_kind == Kind::TalksFirst)
                    client->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(page.size()) + "\r\n\r\n"
                                  + page);
            }
        });
    }

    QString line(const QString& separator = QStringLiteral(":")) const
    {
        return serverAddress().toString() + separator + QString::number(serverPort());
    }

    // The hosts SOCKS5 clients asked to reach, as they named them.
    QStringList targets() const { return m_targets; }

private:
    void read(QTcpSocket* client)
    {
        QByteArray& in = m_pending[client];
        in += client->readAll();
        const auto byte = [&in](qsizetype at) { return quint8(in.at(at)); };
        switch (m_kind) {
        case Kind::Socks5:
        case Kind::Socks5Login:
            return readSocks5(client, in);
        case Kind::Socks4Patient:
            if (in.size() < 9 || !in.endsWith('\0'))
                return;
            return tunnel(client, QHostAddress(quint32(byte(4)) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7)),
                          quint16(byte(2) << 8 | byte(3)), QByteArray("\x00\x5a\0\0\0\0\0\0", 8));
        case Kind::Silent:
        case Kind::TalksFirst:
            return;
        default:
            break;
        }
        const qsizetype headEnd = in.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        QByteArray head = in.left(headEnd + 2);
        in.clear();
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QByteArray method = requestLine.value(0);
        const QUrl target(QString::fromLatin1(requestLine.value(1)));
        const auto answer = [client](const QByteArray& status, const QByteArray& body) {
            client->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
                          + body);
            client->disconnectFromHost();
        };
        if (m_kind == Kind::WebServer)
            return answer("200 OK", "<html>Welcome to this web server</html>");
        if (m_kind == Kind::EchoRequest)
            return answer("200 OK", head);
        if (m_kind == Kind::ConnectOnly && method == "CONNECT") {
            const QList<QByteArray> authority = requestLine.value(1).split(':');
            return tunnel(client, QHostAddress(QString::fromLatin1(authority.value(0))), authority.value(1).toUShort(),
                          "HTTP/1.1 200 Connection established\r\n\r\n");
        }
        if (m_kind == Kind::ConnectOnly || method != "GET")
            return answer("405 Method Not Allowed", {});
        if (m_kind == Kind::Basic && !head.contains("\r\nProxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"))
            return answer("407 Proxy Authentication Required", {});
        if (QHostAddress(target.host()) == serverAddress() && target.port() == serverPort())
            return answer("508 Loop Detected", {}); // asked for itself, as a check without a judge does
        head.replace(requestLine.value(1), target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
        if (m_kind == Kind::RelayVia)
            head += "Via: 1.1 scripted\r\n";
        if (m_kind == Kind::RelayForwardedFor)
            head += "X-Forwarded-For: " + client->peerAddress().toString().toLatin1() + "\r\n";
        tunnel(client, QHostAddress(target.host()), quint16(target.port(80)), {}, head + "\r\n");
    }

    // Greeting, then the login user:secret where one is wanted, then a connection to an IPv4
    // address or to the name "localhost".
    void readSocks5(QTcpSocket* client, QByteArray& in)
    {
        const auto byte = [&in](qsizetype at) { return quint8(in.at(at)); };
        const bool wantsLogin = m_kind == Kind::Socks5Login;
        int step = client->property("step").toInt();
        if (step == 0 && in.size() >= 2 && in.size() >= 2 + byte(1)) {
            const bool offersLogin = in.mid(2, byte(1)).contains('\x02');
            in.remove(0, 2 + byte(1));
            if (wantsLogin && !offersLogin) {
                client->write(QByteArray("\x05\xff", 2));
                return client->disconnectFromHost();
            }
            client->write(wantsLogin ? QByteArray("\x05\x02", 2) : QByteArray("\x05\x00", 2));
            step = wantsLogin ? 1 : 2;
        }
        if (step == 1 && in.size() >= 2 && in.size() >= 3 + byte(1) && in.size() >= 3 + byte(1) + byte(2 + byte(1))) {
            const bool right = in.startsWith("\x01\x04user\x06secret") && in.size() == 13;
            client->write(right ? QByteArray("\x01\x00", 2) : QByteArray("\x01\x01", 2));
            if (!right)
                return client->disconnectFromHost();
            in.clear();
            step = 2;
        }
        client->setProperty("step", step);
        if (step != 2 || in.size() < 5)
            return;
        const bool ipv4 = byte(3) == 1;
        const qsizetype size = ipv4 ? 10 : 7 + byte(4);
        if (in.size() < size || (!ipv4 && in.mid(4, 10) != "\x09localhost"))
            return;
        const QHostAddress address = ipv4
            ? QHostAddress(quint32(byte(4)) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7))
            : QHostAddress(QHostAddress::LocalHost);
        m_targets.append(ipv4 ? address.toString() : QStringLiteral("localhost"));
        tunnel(client, address, quint16(byte(size - 2) << 8 | byte(size - 1)),
               QByteArray("\x05\x00\x00\x01\0\0\0\0\0\0", 10));
    }

    // The proxy's reply to the client, then the client and the target talk through it both ways.
    // The proxy's reply to the client, then the client and the target talk through it both ways,
    // a window at a time: what one side does not read, the other is not read for.
    void tunnel(QTcpSocket* client, const QHostAddress& address, quint16 port, const QByteArray& reply,
                const QByteArray& first = {})
    {
        constexpr qint64 Window = 64 * 1024;
        m_pending.remove(client);
        disconnect(client, &QTcpSocket::readyRead, nullptr, nullptr);
        if (!reply.isEmpty())
            client->write(reply);
        auto* target = new QTcpSocket(client);
        target->bind(QHostAddress(m_exit));
        client->setReadBufferSize(Window);
        target->setReadBufferSize(Window);
        const auto pump = [](QTcpSocket* from, QTcpSocket* to) {
            while (to->state() == QAbstractSocket::ConnectedState && to->bytesToWrite() < Window
                   && from->bytesAvailable() > 0)
                to->write(from->read(Window));
        };
        const auto toClient = [this, client, target, pump] {
            if (m_kind != Kind::Drip)
                return pump(target, client);
            if (client->property("dripping").toBool())
                return;
            client->setProperty("dripping", true);
            auto* drip = new QTimer(client);
            connect(drip, &QTimer::timeout, client, [client, target] { client->write(target->read(1)); });
            drip->start(50);
        };
        const auto toTarget = [client, target, pump] { pump(client, target); };
        connect(target, &QTcpSocket::readyRead, client, toClient);
        connect(client, &QTcpSocket::bytesWritten, client, toClient);
        connect(client, &QTcpSocket::readyRead, target, toTarget);
        connect(target, &QTcpSocket::bytesWritten, target, toTarget);
        connect(target, &QTcpSocket::disconnected, client, [this, client] {
            if (m_kind != Kind::Drip)
                client->disconnectFromHost();
        });
        connect(target, &QTcpSocket::connected, target, [target, first, toTarget] {
            if (!first.isEmpty())
                target->write(first);
            toTarget();
        });
        target->connectToHost(address, port);
    }

    Kind m_kind;
    QString m_exit;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QStringList m_targets;
};
