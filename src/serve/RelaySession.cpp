#include "RelaySession.h"

#include "HostPort.h"
#include "PlainText.h"

#include <asio/write.hpp>

using namespace Qt::StringLiterals;
using std::chrono::steady_clock;

namespace {

QString Text(const std::error_code& error)
{
    return QString::fromStdString(error.message());
}

QString EndpointText(const asio::ip::tcp::socket& socket)
{
    std::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    return error ? u"?"_s : HostPort{QString::fromStdString(peer.address().to_string()), peer.port()}.authority();
}

} // namespace

RelaySession::RelaySession(asio::ip::tcp::socket client, std::shared_ptr<ServerState> server)
    : m_client(std::move(client))
    , m_upstream(m_client.get_executor())
    , m_timer(m_client.get_executor())
    , m_server(std::move(server))
    , m_toUpstream{&m_client, &m_upstream, {}, 0, false}
    , m_toClient{&m_upstream, &m_client, {}, 0, false}
{
    m_server->sessions.insert(this);
    ++m_server->clients;
    m_record.client = EndpointText(m_client);
}

RelaySession::~RelaySession()
{
    m_server->sessions.erase(this);
    --m_server->clients;
}

void RelaySession::start()
{
    std::error_code ignored;
    m_client.non_blocking(true, ignored);
    arm(m_server->limits.requestTimeout, u"the client did not ask within its time"_s);
    readRequest();
}

void RelaySession::arm(std::chrono::milliseconds wait, const QString& outcome)
{
    m_timer.expires_after(wait);
    m_timer.async_wait([self = shared_from_this(), outcome](const std::error_code& error) {
        if (!error)
            self->close(outcome);
    });
}

void RelaySession::readRequest()
{
    m_client.async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](const std::error_code& error) {
        if (self->m_closed)
            return;
        std::array<char, 4096> bytes{};
        std::error_code failure = error;
        const std::size_t got = error ? 0 : self->m_client.read_some(asio::buffer(bytes), failure);
        if (failure == asio::error::would_block)
            return self->readRequest();
        if (failure || got == 0)
            return self->close(u"the client left before it asked"_s);
        self->onRequest(self->m_reader.read(QByteArrayView(bytes.data(), qsizetype(got))));
    });
}

void RelaySession::onRequest(ClientRequestReader::State state)
{
    const QByteArray reply = m_reader.takeReply();
    switch (state) {
    case ClientRequestReader::State::Incomplete:
        if (!reply.isEmpty())
            return writeTo(m_client, reply, [this] { readRequest(); });
        return readRequest();
    case ClientRequestReader::State::Refused:
        return replyAndClose(reply, u"refused: "_s + m_reader.refusal());
    case ClientRequestReader::State::Ready:
        break;
    }
    m_request = m_reader.request();
    m_record.target = DisplayText(HostPort{m_request.host, m_request.port}.authority());
    if (reply.isEmpty())
        return tryUpstream();
    writeTo(m_client, reply, [this] { tryUpstream(); });
}

// Nothing of the client's has gone through a proxy yet: another may be tried.
void RelaySession::tryUpstream()
{
    const std::optional<Upstream> upstream =
        int(m_tried.size()) < ServeLimits::Attempts ? m_server->pool.next(m_request, m_tried) : std::nullopt;
    if (!upstream) {
        const QString reason = m_failures.isEmpty() ? u"no working proxy can carry this request"_s
                                                    : u"no proxy carried this request: "_s + m_failures.join(u"; "_s);
        return replyAndClose(m_request.failed(reason), reason);
    }
    m_tried.push_back(*upstream);
    m_record.upstream = upstream->name();
    m_timer.expires_after(m_server->limits.upstreamTimeout);
    m_timer.async_wait([self = shared_from_this(), attempt = m_tried.size()](const std::error_code& error) {
        if (!error && !self->m_closed && attempt == self->m_tried.size())
            self->attemptFailed(u"timed out"_s, true);
    });
    std::error_code error;
    const asio::ip::address address = asio::ip::make_address(upstream->address.toString().toStdString(), error);
    if (!error) {
        m_upstream.open(address.is_v4() ? asio::ip::tcp::v4() : asio::ip::tcp::v6(), error);
        if (!error)
            m_upstream.non_blocking(true, error);
    }
    if (error)
        return attemptFailed(Text(error), false);
    m_upstream.async_connect({address, upstream->port},
                             [self = shared_from_this(), attempt = m_tried.size()](const std::error_code& failure) {
                                 if (!self->m_closed && attempt == self->m_tried.size())
                                     self->onUpstreamConnected(failure);
                             });
}

void RelaySession::onUpstreamConnected(const std::error_code& error)
{
    if (error)
        return attemptFailed(Text(error), true);
    const Upstream& upstream = m_tried.back();
    // An HTTP proxy takes a request to hand on whole: there is no tunnel to open first.
    if (upstream.protocol == ProxyProtocol::Http) {
        QByteArray head = m_request.absoluteHead;
        head.insert(head.size() - 2, ProxyAuthorization(upstream.login));
        return startRelay({}, head + m_request.early);
    }
    m_handshake.emplace(upstream.protocol, TunnelTarget{m_request.host, m_request.port}, upstream.login);
    writeTo(m_upstream, m_handshake->opening(), [this] { readHandshake(); });
}

void RelaySession::readHandshake()
{
    m_upstream.async_wait(
        asio::ip::tcp::socket::wait_read,
        [self = shared_from_this(), attempt = m_tried.size()](const std::error_code& error) {
            if (self->m_closed || attempt != self->m_tried.size())
                return;
            std::array<char, 4096> bytes{};
            std::error_code failure = error;
            const std::size_t got = error ? 0 : self->m_upstream.read_some(asio::buffer(bytes), failure);
            if (failure == asio::error::would_block)
                return self->readHandshake();
            if (failure || got == 0)
                return self->attemptFailed(u"the proxy closed the connection during the handshake"_s, true);
            self->onHandshake(self->m_handshake->read(QByteArrayView(bytes.data(), qsizetype(got))));
        });
}

void RelaySession::onHandshake(TunnelHandshake::State state)
{
    switch (state) {
    case TunnelHandshake::State::Incomplete:
        if (const QByteArray next = m_handshake->takeToSend(); !next.isEmpty())
            return writeTo(m_upstream, next, [this] { readHandshake(); });
        return readHandshake();
    case TunnelHandshake::State::Open:
        break;
    case TunnelHandshake::State::Refused:
        // The proxy works; it could not reach this target. Another may.
        return attemptFailed(m_handshake->reason(), false);
    default:
        return attemptFailed(m_handshake->reason(), true);
    }
    const QByteArray early = m_handshake->takeRest();
    if (m_request.kind == ClientRequest::Kind::Tunnel)
        return startRelay(m_request.granted() + early, m_request.early);
    startRelay(early, m_request.originHead + m_request.early);
}

void RelaySession::attemptFailed(const QString& reason, bool setAside)
{
    const Upstream& upstream = m_tried.back();
    m_failures.append(upstream.name() + u": "_s + reason);
    if (setAside) {
        m_server->pool.setAside(upstream);
        m_server->working = int(m_server->pool.working());
    }
    std::error_code ignored;
    m_upstream.close(ignored);
    m_handshake.reset();
    tryUpstream();
}

// From here on the client's bytes go through this upstream: the request is never sent again.
void RelaySession::startRelay(const QByteArray& toClient, const QByteArray& toUpstream)
{
    m_lastActivity = steady_clock::now();
    m_timer.expires_after(m_server->limits.idleTimeout);
    m_timer.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error)
            self->onIdleCheck();
    });
    m_toClient.bytes += quint64(toClient.size());
    m_toUpstream.bytes += quint64(toUpstream.size());
    m_server->relayed += quint64(toClient.size() + toUpstream.size());
    writeTo(m_client, toClient, [this] { wait(m_toClient); });
    writeTo(m_upstream, toUpstream, [this] { wait(m_toUpstream); });
}

void RelaySession::wait(Way& way)
{
    way.buffer.reset(); // nothing is on its way: an idle connection holds no buffer
    way.from->async_wait(asio::ip::tcp::socket::wait_read,
                         [self = shared_from_this(), &way](const std::error_code& error) {
                             if (self->m_closed)
                                 return;
                             if (error)
                                 return self->close(Text(error));
                             self->pass(way);
                         });
}

void RelaySession::pass(Way& way)
{
    if (!way.buffer)
        way.buffer = std::make_unique<std::array<char, Piece>>();
    std::error_code error;
    const std::size_t got = way.from->read_some(asio::buffer(*way.buffer), error);
    if (error == asio::error::would_block)
        return wait(way);
    if (error == asio::error::eof || (!error && got == 0)) {
        way.ended = true;
        way.buffer.reset();
        std::error_code ignored;
        way.to->shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        if (m_toClient.ended && m_toUpstream.ended)
            close(u"relayed"_s);
        return;
    }
    if (error)
        return close(Text(error));
    way.bytes += got;
    m_server->relayed += got;
    m_lastActivity = steady_clock::now();
    asio::async_write(*way.to, asio::buffer(way.buffer->data(), got),
                      [self = shared_from_this(), &way](const std::error_code& failure, std::size_t) {
                          if (self->m_closed)
                              return;
                          if (failure)
                              return self->close(Text(failure));
                          self->pass(way);
                      });
}

void RelaySession::onIdleCheck()
{
    const auto idle = steady_clock::now() - m_lastActivity;
    if (idle >= m_server->limits.idleTimeout)
        return close(u"idle too long"_s);
    m_timer.expires_after(m_server->limits.idleTimeout - idle);
    m_timer.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error)
            self->onIdleCheck();
    });
}

void RelaySession::replyAndClose(const QByteArray& reply, const QString& outcome)
{
    m_record.upstream.clear();
    writeTo(m_client, reply, [this, outcome] { close(outcome); });
}

void RelaySession::writeTo(asio::ip::tcp::socket& socket, QByteArray bytes, std::function<void()> then)
{
    if (bytes.isEmpty())
        return then();
    auto held = std::make_shared<QByteArray>(std::move(bytes));
    asio::async_write(
        socket, asio::buffer(held->constData(), std::size_t(held->size())),
        [self = shared_from_this(), held, then = std::move(then)](const std::error_code& error, std::size_t) {
            if (self->m_closed)
                return;
            if (error)
                return self->close(Text(error));
            then();
        });
}

void RelaySession::close(const QString& outcome)
{
    if (m_closed)
        return;
    m_closed = true;
    std::error_code ignored;
    m_timer.cancel();
    m_client.close(ignored);
    m_upstream.close(ignored);
    m_record.sent = m_toUpstream.bytes;
    m_record.received = m_toClient.bytes;
    m_record.outcome = outcome;
    if (m_server->log)
        m_server->log(m_record);
}
