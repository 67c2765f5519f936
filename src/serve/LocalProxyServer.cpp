#include "LocalProxyServer.h"

#include "JudgePage.h"
#include "LocalShortage.h"

using namespace Qt::StringLiterals;

namespace {

// A client that comes while this process has no descriptor to spare is taken again after this.
constexpr std::chrono::milliseconds ShortagePause{100};

} // namespace

LocalProxyServer::LocalProxyServer(asio::io_context& context, ServeLimits limits, QList<Subnet> allowed,
                                   std::function<void(const RelayRecord&)> log)
    : m_acceptor(context)
    , m_pause(context)
    , m_state(std::make_shared<ServerState>(limits, std::move(log)))
    , m_allowed(std::move(allowed))
{
}

std::optional<QString> LocalProxyServer::listen(const QHostAddress& address, quint16 port)
{
    std::error_code error;
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(address.toString().toStdString(), error), port);
    if (!error)
        m_acceptor.open(endpoint.protocol(), error);
    if (!error)
        m_acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    if (!error)
        m_acceptor.bind(endpoint, error);
    if (!error)
        m_acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (!error)
        return std::nullopt;
    std::error_code ignored;
    m_acceptor.close(ignored);
    return QString::fromStdString(error.message());
}

quint16 LocalProxyServer::port() const
{
    std::error_code error;
    return m_acceptor.local_endpoint(error).port();
}

void LocalProxyServer::start()
{
    accept();
}

void LocalProxyServer::stop()
{
    std::error_code ignored;
    m_acceptor.close(ignored);
    m_pause.cancel();
    // Closing a session takes it out of the set.
    const std::unordered_set<RelaySession*> sessions = m_state->sessions;
    for (RelaySession* session : sessions)
        session->close(u"the server stopped"_s);
}

void LocalProxyServer::usePool(std::vector<Upstream> working)
{
    m_state->pool.replace(std::move(working));
    m_state->working = int(m_state->pool.working());
}

void LocalProxyServer::accept()
{
    m_acceptor.async_accept([this](const std::error_code& error, asio::ip::tcp::socket client) {
        if (error == asio::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (error && error.category() == asio::error::get_system_category() && IsLocalShortage(error.value())) {
            m_pause.expires_after(ShortagePause);
            m_pause.async_wait([this](const std::error_code& cancelled) {
                if (!cancelled)
                    accept();
            });
            return;
        }
        std::error_code peerError;
        const asio::ip::tcp::endpoint peer = client.remote_endpoint(peerError);
        const bool welcome = !error && !peerError
            && IsAllowedClient(QHostAddress(QString::fromStdString(peer.address().to_string())), m_allowed)
            && m_state->clients < m_state->limits.maxClients;
        if (welcome)
            std::make_shared<RelaySession>(std::move(client), m_state)->start();
        accept(); // a client turned away is closed with its socket here
    });
}

bool IsAllowedClient(const QHostAddress& client, const QList<Subnet>& allowed)
{
    const QHostAddress plain = PlainAddress(client);
    return plain.isLoopback() || std::any_of(allowed.begin(), allowed.end(), [&plain](const Subnet& subnet) {
               return plain.isInSubnet(subnet);
           });
}
