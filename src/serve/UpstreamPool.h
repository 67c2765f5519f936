#pragma once

#include "ClientRequest.h"
#include "ProbeResult.h"

#include <QHostAddress>

#include <optional>
#include <vector>

// A proxy of the pool, as the check found it working: the way it carried the judge's request
// tells what it can carry.
struct Upstream
{
    QHostAddress address; // where the check reached it, a name already resolved
    quint16 port = 0;
    ProxyProtocol protocol = ProxyProtocol::Http;
    std::optional<ProxyLogin> login;
    bool sendsHostNames = false; // socks4a: a SOCKS4 proxy that resolves names itself
    QString line; // as the list gave it, for the log

    // Whether it can carry the request: an HTTP proxy checked by a plain GET only requests to be
    // handed on; a SOCKS4 proxy only IPv4 addresses (and names, as SOCKS4a); the others anything.
    bool canCarry(const ClientRequest& request) const;
    QString name() const; // HOST:PORT

    friend bool operator==(const Upstream&, const Upstream&) = default;
};

// The working proxies, taken in turn: each request goes to the next one that can carry it, so
// every working proxy keeps getting its turn. A proxy that failed is set aside until the pool is
// checked again. Lives on the server's thread.
class UpstreamPool final
{
public:
    void replace(std::vector<Upstream> working);
    // The next in turn that can carry the request and is not among those already tried for it.
    std::optional<Upstream> next(const ClientRequest& request, const std::vector<Upstream>& tried);
    void setAside(const Upstream& upstream);

    qsizetype working() const { return qsizetype(m_working.size()); }

private:
    std::vector<Upstream> m_working;
    std::size_t m_turn = 0;
};
