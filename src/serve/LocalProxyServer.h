#pragma once

#include "RelaySession.h"

#include <QHostAddress>
#include <QList>
#include <QPair>

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

using Subnet = QPair<QHostAddress, int>; // an address and its prefix length

// Whether a client may use the server: one from the loopback always, any other only from a
// subnet allowed.
bool IsAllowedClient(const QHostAddress& client, const QList<Subnet>& allowed);

// The local proxy server: one port that speaks HTTP proxying and SOCKS5, each client's request
// carried by a working proxy of the pool, never by the server itself. Clients from the loopback
// are always served, others only from the subnets allowed; anyone else is closed at once. It
// runs on the engine's thread; listen() may come before that thread takes it over.
class LocalProxyServer final
{
public:
    LocalProxyServer(asio::io_context& context, ServeLimits limits, QList<Subnet> allowed,
                     std::function<void(const RelayRecord&)> log);
    LocalProxyServer(const LocalProxyServer&) = delete;
    LocalProxyServer& operator=(const LocalProxyServer&) = delete;

    // Why the address cannot be listened on, if it cannot.
    std::optional<QString> listen(const QHostAddress& address, quint16 port);
    quint16 port() const;

    // On the engine's thread.
    void start();
    void stop();
    void usePool(std::vector<Upstream> working);

    // The counters may be read from any thread.
    const ServerState& state() const { return *m_state; }

private:
    void accept();

    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_pause; // after a shortage of descriptors, before accepting again
    std::shared_ptr<ServerState> m_state;
    QList<Subnet> m_allowed;
};
