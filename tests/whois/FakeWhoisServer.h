#pragma once

#include "HostPort.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// A whois server in the test process, on 127.0.0.1 unless a port is asked for: it accepts
// connections and keeps what each peer sent; the test answers through the peer's socket.
class FakeWhoisServer final
{
public:
    explicit FakeWhoisServer(quint16 port = 0) { m_server.listen(QHostAddress::LocalHost, port); }

    bool isListening() const { return m_server.isListening(); }
    HostPort address() const { return {QStringLiteral("127.0.0.1"), m_server.serverPort()}; }

    bool hasPendingPeer() const { return m_server.hasPendingConnections(); }

    // The next connection, or nullptr when none comes within Qt Test's usual wait.
    QTcpSocket* waitForPeer()
    {
        if (!QTest::qWaitFor([this] { return m_server.hasPendingConnections(); }))
            return nullptr;
        QTcpSocket* peer = m_server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, peer] { m_received[peer] += peer->readAll(); });
        return peer;
    }

    QByteArray received(QTcpSocket* peer) const { return m_received.value(peer); }

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_received;
};
