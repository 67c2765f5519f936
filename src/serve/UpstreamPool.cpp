#include "UpstreamPool.h"

#include "HostPort.h"

bool Upstream::canCarry(const ClientRequest& request) const
{
    switch (protocol) {
    case ProxyProtocol::Http:
        return request.kind == ClientRequest::Kind::Forward;
    case ProxyProtocol::Socks4:
        return sendsHostNames || QHostAddress(request.host).protocol() == QAbstractSocket::IPv4Protocol;
    case ProxyProtocol::HttpConnect:
    case ProxyProtocol::Socks5:
        return true;
    case ProxyProtocol::Direct:
        break;
    }
    return false;
}

QString Upstream::name() const
{
    return HostPort{address.toString(), port}.authority();
}

void UpstreamPool::replace(std::vector<Upstream> working)
{
    m_working = std::move(working);
    m_turn = 0;
}

std::optional<Upstream> UpstreamPool::next(const ClientRequest& request, const std::vector<Upstream>& tried)
{
    for (std::size_t looked = 0; looked < m_working.size(); ++looked) {
        const Upstream& candidate = m_working[(m_turn + looked) % m_working.size()];
        if (candidate.canCarry(request) && std::find(tried.begin(), tried.end(), candidate) == tried.end()) {
            m_turn = (m_turn + looked + 1) % m_working.size();
            return candidate;
        }
    }
    return std::nullopt;
}

void UpstreamPool::setAside(const Upstream& upstream)
{
    const auto found = std::find(m_working.begin(), m_working.end(), upstream);
    if (found == m_working.end())
        return;
    const auto index = std::size_t(found - m_working.begin());
    m_working.erase(found);
    if (index < m_turn)
        --m_turn;
    if (m_turn >= m_working.size())
        m_turn = 0;
}
