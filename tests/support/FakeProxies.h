#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A judge: "/judge" asked in origin form gets its page, anything else a 400 (a request not rewritten);
// "/judge?later" gets the page a moment after its head, as from a busy server.
class FakeJudge final : public QTcpServer
{
public:
    FakeJudge()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                const QByteArray request = peer->readAll();
                const QByteArray page = "<html>judged: the proxy works</html>";
                const bool later = request.startsWith("GET /judge?later HTTP/1.1\r\n");
                peer->write(!later && !request.startsWith("GET /judge HTTP/1.1\r\n")
                                ? "HTTP/1.1 400 Bad Request\r\n\r\n"
                                : "HTTP/1.1 200 OK\r\n\r\n" + (later ? QByteArray() : page));
                QTimer::singleShot(later ? 50 : 0, peer, [peer, page, later] {
                    peer->write(later ? page : QByteArray());
                    peer->disconnectFromHost();
                });
            });
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/judge").arg(serverPort()); }
};

// A proxy on an address of its own in 127.0.0.0/8 that passes on to the judge only: tests stay in-process.
class FakeProxy final : public QTcpServer
{
public:
    // A SOCKS5 proxy tells the address it bound as an IPv4 address, a host name or an IPv6 address.
    enum class Kind { HttpForwarding, HttpForbidden, Socks5, Socks5ByName, Socks5Ipv6, Socks4, Silent, Garbage };

    FakeProxy(Kind kind, const QString& address, quint16 judgePort)
        : m_kind(kind)
        , m_judgePort(judgePort)
    {
        listen(QHostAddress(address), 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater); // a benchmark makes thousands
            connect(peer, &QTcpSocket::readyRead, peer, [this, peer] { answer(peer); });
        });
    }

    QString line(const QString& separator = QStringLiteral(":")) const
    {
        return serverAddress().toString() + separator + QString::number(serverPort());
    }

    // The first byte of each message heard outside a tunnel: 'G' of an HTTP GET, or the SOCKS version.
    const QByteArray& heard() const { return m_heard; }

private:
    void answer(QTcpSocket* peer)
    {
        const auto close = [peer](const QByteArray& answer) {
            peer->write(answer);
            peer->disconnectFromHost();
        };
        const QByteArray got = peer->readAll();
        m_heard += got.left(1);
        const QByteArray judge = "http://127.0.0.1:" + QByteArray::number(m_judgePort);
        const QByteArray judgePort = QByteArray(1, char(m_judgePort >> 8)) + char(m_judgePort & 0xff);
        switch (m_kind) {
        case Kind::HttpForwarding:
            if (got.startsWith("GET " + judge + '/'))
                return tunnel(peer, {}, "GET " + got.mid(4 + judge.size()));
            return got.startsWith("GET ") ? close("HTTP/1.1 502 Bad Gateway\r\n\r\n") : peer->abort();
        case Kind::HttpForbidden: // its status line comes in two pieces
            if (!got.startsWith("GET "))
                return peer->abort();
            peer->write("HTTP/1.");
            return QTimer::singleShot(50, peer, [close] { close("1 403 Forbidden\r\n\r\n"); });
        case Kind::Socks5:
        case Kind::Socks5ByName:
        case Kind::Socks5Ipv6:
            if (got == QByteArray("\x05\x01\x00", 3))
                return void(peer->write(QByteArray("\x05\x00", 2)));
            if (got == QByteArray("\x05\x01\x00\x01\x7f\x00\x00\x01", 8) + judgePort)
                return tunnel(peer,
                              QByteArray("\x05\x00\x00", 3)
                                  + (m_kind == Kind::Socks5           ? QByteArray("\x01\x7f\x00\x00\x01", 5)
                                         : m_kind == Kind::Socks5Ipv6 ? '\x04' + QByteArray(16, '\x01')
                                                                      : QByteArray("\x03\x09localhost"))
                                  + "\xff\xfe");
            return peer->abort();
        case Kind::Socks4:
            if (got.size() < 9 || got.at(0) != 4)
                return peer->abort();
            if (got.mid(2, 2) != judgePort)
                return close(QByteArray("\x00\x5d\x00\x00\x00\x00\x00\x00", 8)); // the last refusal code
            return tunnel(peer, QByteArray("\x00\x5a\xff\xfe\x7f\x00\x00\x01", 8)); // bound to 127.0.0.1:65534
        case Kind::Silent:
            return;
        case Kind::Garbage:
            return void(peer->write("\x1b[2J\x01garbage\xff\r\n"));
        }
    }

    // The proxy's own reply, then the peer talks to the judge, both ways.
    void tunnel(QTcpSocket* peer, const QByteArray& reply, const QByteArray& first = {})
    {
        peer->write(reply);
        disconnect(peer, &QTcpSocket::readyRead, nullptr, nullptr);
        auto* judge = new QTcpSocket(peer);
        connect(judge, &QTcpSocket::readyRead, peer, [peer, judge] { peer->write(judge->readAll()); });
        connect(judge, &QTcpSocket::disconnected, peer, [peer] { peer->disconnectFromHost(); });
        connect(peer, &QTcpSocket::readyRead, judge, [peer, judge] { judge->write(peer->readAll()); });
        judge->connectToHost(QHostAddress::LocalHost, m_judgePort);
        judge->write(first);
    }

    Kind m_kind;
    quint16 m_judgePort;
    QByteArray m_heard;
};
