#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A judge page: every request for "/judge" in origin form gets a 200 with the page, anything
// else a 400, so a proxy that passes the request on unchanged in absolute form fails.
class FakeJudge final : public QTcpServer
{
public:
    static constexpr auto Page = "<html>judged: the proxy works</html>";

    FakeJudge()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                if (!peer->peek(4096).contains("\r\n\r\n"))
                    return;
                const bool origin = peer->readAll().startsWith("GET /judge HTTP/1.1\r\n");
                peer->write(origin ? "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(Page)
                                   : QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n"));
                peer->disconnectFromHost();
            });
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/judge").arg(serverPort()); }
};

// A proxy of one kind on an address of its own in 127.0.0.0/8, which passes on to the judge
// only: any other destination is refused, so a test never reaches beyond this process.
class FakeProxy final : public QTcpServer
{
public:
    enum class Kind { HttpForwarding, HttpForbidden, Socks5, Socks4, Silent, Garbage };

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

private:
    static quint16 PortAt(const QByteArray& bytes, qsizetype at)
    {
        return quint16(quint8(bytes.at(at)) << 8 | quint8(bytes.at(at + 1)));
    }

    void answer(QTcpSocket* peer)
    {
        if (peer->property("tunnel").toBool())
            return;
        const QByteArray got = peer->readAll();
        const QByteArray judge = "http://127.0.0.1:" + QByteArray::number(m_judgePort);
        switch (m_kind) {
        case Kind::HttpForwarding:
            if (got.startsWith("GET " + judge + '/'))
                return tunnel(peer, "GET " + got.mid(4 + judge.size()));
            if (got.startsWith("GET "))
                return close(peer, "HTTP/1.1 502 Bad Gateway\r\n\r\n");
            return peer->abort();
        case Kind::HttpForbidden:
            return got.startsWith("GET ") ? close(peer, "HTTP/1.1 403 Forbidden\r\n\r\n") : peer->abort();
        case Kind::Socks5:
            if (!got.startsWith('\x05'))
                return peer->abort();
            if (got == QByteArray("\x05\x01\x00", 3))
                return void(peer->write(QByteArray("\x05\x00", 2)));
            if (got.size() == 10 && got.startsWith(QByteArray("\x05\x01\x00\x01", 4))
                && PortAt(got, 8) == m_judgePort) {
                peer->write(QByteArray("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
                return tunnel(peer, {});
            }
            return close(peer, QByteArray("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00", 10));
        case Kind::Socks4:
            if (got.size() < 9 || got.at(0) != 4)
                return peer->abort();
            if (PortAt(got, 2) != m_judgePort)
                return close(peer, QByteArray("\x00\x5b\x00\x00\x00\x00\x00\x00", 8));
            peer->write(QByteArray("\x00\x5a\x00\x00\x00\x00\x00\x00", 8));
            return tunnel(peer, {});
        case Kind::Silent:
            return;
        case Kind::Garbage:
            return void(peer->write("\x1b[2J\x01garbage\xff\r\n"));
        }
    }

    static void close(QTcpSocket* peer, const QByteArray& answer)
    {
        peer->write(answer);
        peer->disconnectFromHost();
    }

    // From here on the peer talks to the judge, both ways.
    void tunnel(QTcpSocket* peer, const QByteArray& first)
    {
        peer->setProperty("tunnel", true);
        auto* judge = new QTcpSocket(peer);
        connect(judge, &QTcpSocket::readyRead, peer, [peer, judge] { peer->write(judge->readAll()); });
        connect(judge, &QTcpSocket::disconnected, peer, [peer] { peer->disconnectFromHost(); });
        connect(peer, &QTcpSocket::readyRead, judge, [peer, judge] { judge->write(peer->readAll()); });
        judge->connectToHost(QHostAddress::LocalHost, m_judgePort);
        judge->write(first);
    }

    Kind m_kind;
    quint16 m_judgePort;
};
