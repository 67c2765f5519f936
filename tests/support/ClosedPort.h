#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback port nothing listens on: a connection to it is refused at once, and a lookup or
// fetch aimed at it stays on this machine.
inline quint16 ClosedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
