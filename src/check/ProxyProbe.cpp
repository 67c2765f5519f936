#include "ProxyProbe.h"

#include "HostPort.h"
#include "LocalShortage.h"

#include <asio/connect.hpp>
#include <asio/write.hpp>

#include <array>

using namespace Qt::StringLiterals;
using std::chrono::steady_clock;

namespace {

const auto TimedOut = u"timed out"_s;

// Asio tells the system's errors in a category of its own.
bool IsShortage(const std::error_code& error)
{
    return error.category() == asio::error::get_system_category() && IsLocalShortage(error.value());
}

QString Text(const std::error_code& error)
{
    return QString::fromStdString(error.message());
}

// Every probe reads into the same buffer: what it keeps of an answer is the parsers' to keep,
// so a probe that waits costs no buffer of its own.
std::array<char, 16384>& Scratch()
{
    static thread_local std::array<char, 16384> buffer;
    return buffer;
}

QHostAddress AddressOf(const asio::ip::tcp::endpoint& endpoint)
{
    return QHostAddress(QString::fromStdString(endpoint.address().to_string()));
}

} // namespace

ProxyProbe::ProxyProbe(asio::io_context& context, ProbeTarget target, std::shared_ptr<const ProbeContext> shared,
                       Done done)
    : m_socket(context)
    , m_timer(context)
    , m_resolver(context)
    , m_target(std::move(target))
    , m_shared(std::move(shared))
    , m_done(std::move(done))
{
}

void ProxyProbe::start(asio::io_context& context, ProbeTarget target, std::shared_ptr<const ProbeContext> shared,
                       Done done)
{
    std::make_shared<ProxyProbe>(context, std::move(target), std::move(shared), std::move(done))->begin();
}

template <typename Handler>
auto ProxyProbe::guarded(Handler handler)
{
    return [self = shared_from_this(), generation = m_generation, handler = std::move(handler)](auto&&... arguments) {
        if (!self->m_finished && generation == self->m_generation)
            handler(std::forward<decltype(arguments)>(arguments)...);
    };
}

void ProxyProbe::begin()
{
    m_clock.start();
    m_deadline = steady_clock::now() + m_shared->settings.timeout;
    std::error_code error;
    const asio::ip::address address = asio::ip::make_address(m_target.host.toStdString(), error);
    if (!error) {
        m_endpoint = {address, m_target.port};
        return nextTry();
    }
    arm(timeLeft());
    // The resolver's own thread starts with the first name looked up.
    try {
        startResolving();
    } catch (const std::system_error& failure) {
        finishShort(failure.code());
    }
}

void ProxyProbe::startResolving()
{
    m_resolver.async_resolve(m_target.host.toStdString(), std::to_string(m_target.port),
                             guarded([this](const std::error_code& failure, const auto& endpoints) {
                                 if (failure || endpoints.empty()) {
                                     m_outcome.result.reason = u"the name does not resolve: "_s + Text(failure);
                                     return finish();
                                 }
                                 m_endpoint = endpoints.begin()->endpoint();
                                 nextTry();
                             }));
}

// Each try has a connection of its own: what one protocol's greeting left in a proxy never
// confuses the next.
void ProxyProbe::nextTry()
{
    ++m_generation;
    closeSocket();
    m_handshake.reset();
    m_query.reset();
    m_ownAnswer.reset();
    m_outgoing.clear();
    m_writing = false;
    if (m_try >= m_target.tries.size())
        return finish();
    m_stage = Stage::Connecting;
    m_tryLevel = ProbeLevel::None;
    // The first connection may take the whole time; once the proxy has answered it, the time
    // left is shared among the tries left.
    arm(m_connectedOnce ? timeLeft() / triesLeft() : timeLeft());
    std::error_code error;
    m_socket.open(m_endpoint.protocol(), error);
    if (!error)
        m_socket.non_blocking(true, error);
    if (error) {
        if (IsShortage(error))
            return finishShort(error);
        m_outcome.result.reason = Text(error);
        return finish();
    }
    m_socket.async_connect(m_endpoint, guarded([this](const std::error_code& failure) { onConnected(failure); }));
}

void ProxyProbe::arm(steady_clock::duration wait)
{
    m_timer.expires_after(wait);
    m_timer.async_wait(guarded([this](const std::error_code& error) {
        if (error)
            return; // armed again
        if (!m_connectedOnce) {
            m_outcome.result.reason = TimedOut;
            return finish();
        }
        tryFailed(TimedOut);
    }));
}

void ProxyProbe::onConnected(const std::error_code& error)
{
    if (error && IsShortage(error))
        return finishShort(error);
    if (error && !m_connectedOnce) {
        m_outcome.result.reason = Text(error);
        return finish();
    }
    if (error)
        return tryFailed(Text(error));
    if (!m_connectedOnce) {
        m_connectedOnce = true;
        m_outcome.result.connectMs = m_clock.elapsed();
        m_outcome.result.proxyAddress = AddressOf(m_endpoint);
        arm(timeLeft() / triesLeft());
    }
    m_tryLevel = ProbeLevel::Reachable;
    talk();
    waitReadable();
}

void ProxyProbe::talk()
{
    const ProxyProtocol protocol = m_target.tries[m_try];
    const std::optional<Judge>& judge = m_shared->judge;
    if (protocol == ProxyProtocol::Direct || (protocol == ProxyProtocol::Http && judge)) {
        m_stage = Stage::Answer;
        m_query.emplace(*judge, protocol == ProxyProtocol::Http ? JudgeQuery::Form::Absolute : JudgeQuery::Form::Origin,
                        m_target.login);
        return send(m_query->request());
    }
    const QString ownAddress = m_outcome.result.proxyAddress.toString();
    if (protocol == ProxyProtocol::Http) {
        // Without a judge the proxy is asked for its own address: no third host hears of it.
        m_stage = Stage::Answer;
        m_ownAnswer.emplace(JudgeQuery::AnswerCap);
        const QByteArray own = HostPort{ownAddress, m_target.port}.authority().toLatin1();
        return send("GET http://" + own + "/ HTTP/1.1\r\nHost: " + own + "\r\n" + ProxyAuthorization(m_target.login)
                    + "Connection: close\r\n\r\n");
    }
    TunnelTarget target{ownAddress, m_target.port};
    if (judge) {
        const bool byName = m_target.sendsHostNames || m_shared->judgeAddress.isNull();
        target = {byName ? judge->host : m_shared->judgeAddress.toString(), judge->port};
    }
    m_stage = Stage::Handshake;
    m_handshake.emplace(protocol, target, m_target.login);
    send(m_handshake->opening());
}

void ProxyProbe::waitReadable()
{
    m_socket.async_wait(asio::ip::tcp::socket::wait_read, guarded([this](const std::error_code& error) {
                            if (error)
                                return onEnd();
                            onReadable();
                        }));
}

void ProxyProbe::onReadable()
{
    std::array<char, 16384>& buffer = Scratch();
    std::error_code error;
    const std::size_t got = m_socket.read_some(asio::buffer(buffer), error);
    if (error == asio::error::would_block)
        return waitReadable();
    if (error || got == 0)
        return onEnd();
    const quint64 generation = m_generation;
    onBytes(QByteArrayView(buffer.data(), qsizetype(got)));
    if (!m_finished && generation == m_generation)
        waitReadable();
}

void ProxyProbe::onBytes(QByteArrayView bytes)
{
    if (m_stage == Stage::Handshake)
        return readHandshake(m_handshake->read(bytes));
    if (m_stage == Stage::Answer)
        readAnswer((m_query ? m_query->answer() : *m_ownAnswer).read(bytes));
}

// The proxy closed the connection, or it failed.
void ProxyProbe::onEnd()
{
    // A handshake that was decided has moved the stage on: this one was cut short.
    if (m_stage == Stage::Handshake)
        return tryFailed(m_handshake->speaks() ? u"the connection closed during the handshake"_s
                                               : u"no %1 answer"_s.arg(ProtocolName(m_target.tries[m_try])));
    if (m_stage == Stage::Answer)
        readAnswer((m_query ? m_query->answer() : *m_ownAnswer).readEnd());
}

void ProxyProbe::readHandshake(TunnelHandshake::State state)
{
    if (m_handshake->speaks())
        reached(ProbeLevel::Speaks);
    // Without a judge no tunnel is needed: an answer in the protocol is all there is to tell.
    if (!m_shared->judge && m_handshake->speaks())
        return finishTry({});
    if (const QByteArray next = m_handshake->takeToSend(); !next.isEmpty())
        send(next);
    switch (state) {
    case TunnelHandshake::State::Incomplete:
        return;
    case TunnelHandshake::State::Open:
        return askJudgeThroughTunnel();
    default:
        return tryFailed(m_handshake->reason());
    }
}

// What came after the tunnel's reply and before the request was sent is read as the start of
// the answer: a server that talks before it is asked cannot know the token.
void ProxyProbe::askJudgeThroughTunnel()
{
    const QByteArray early = m_handshake->takeRest();
    m_stage = Stage::Answer;
    m_query.emplace(*m_shared->judge, JudgeQuery::Form::Origin);
    send(m_query->request());
    if (!early.isEmpty())
        readAnswer(m_query->answer().read(early));
}

void ProxyProbe::readAnswer(HttpAnswer::State state)
{
    const HttpAnswer& answer = m_query ? m_query->answer() : *m_ownAnswer;
    const bool httpProxy = m_target.tries[m_try] == ProxyProtocol::Http;
    if (httpProxy && answer.status() >= 0)
        reached(ProbeLevel::Speaks);
    if (!m_query && answer.status() >= 0)
        return finishTry({});
    if (state == HttpAnswer::State::Incomplete)
        return;
    if (httpProxy && answer.status() < 0)
        return tryFailed(u"no HTTP answer"_s);
    if (!m_query)
        return tryFailed(answer.failure());
    const JudgeVerdict verdict = m_query->verdict(m_shared->checkerAddress);
    if (!verdict.works)
        return tryFailed(verdict.reason);
    reached(ProbeLevel::Works);
    m_outcome.result.anonymity = verdict.anonymity;
    m_outcome.result.exitAddress = verdict.exitAddress;
    finishTry({});
}

void ProxyProbe::send(const QByteArray& bytes)
{
    m_outgoing += bytes;
    flush();
}

// One write at a time; what is sent meanwhile waits for it.
void ProxyProbe::flush()
{
    if (m_writing || m_outgoing.isEmpty())
        return;
    m_writing = true;
    m_sending = std::exchange(m_outgoing, {});
    asio::async_write(m_socket, asio::buffer(m_sending.constData(), std::size_t(m_sending.size())),
                      guarded([this](const std::error_code& error, std::size_t) {
                          m_writing = false;
                          if (!error) // a failed write shows as the end of the connection
                              flush();
                      }));
}

void ProxyProbe::reached(ProbeLevel level)
{
    m_tryLevel = std::max(m_tryLevel, level);
}

// The try that got furthest tells the result; of tries that got as far, the first.
void ProxyProbe::tryFailed(const QString& reason)
{
    m_everyTryTimedOut = m_everyTryTimedOut && reason == TimedOut;
    ProbeResult& best = m_outcome.result;
    if (m_tryLevel > best.level || (m_tryLevel == best.level && best.reason.isEmpty())) {
        best.level = m_tryLevel;
        best.protocol = m_tryLevel >= ProbeLevel::Speaks ? std::optional(m_target.tries[m_try]) : std::nullopt;
        best.reason = reason;
    }
    ++m_try;
    nextTry();
}

void ProxyProbe::finishTry(const QString& reason)
{
    ProbeResult& best = m_outcome.result;
    best.level = m_tryLevel;
    best.protocol = m_target.tries[m_try];
    best.reason = reason;
    finish();
}

void ProxyProbe::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    ProbeResult& result = m_outcome.result;
    if (result.level == ProbeLevel::Reachable && m_target.tries.size() > 1)
        result.reason = m_everyTryTimedOut ? TimedOut : u"no proxy protocol answered"_s;
    m_timer.cancel();
    m_resolver.cancel();
    closeSocket();
    result.totalMs = m_clock.elapsed();
    const Done done = std::move(m_done);
    done(std::move(m_outcome));
}

// A probe has read all it wants of a connection when it closes it: a reset spares both ends the
// closing handshake, and this machine a port held in TIME_WAIT for every proxy checked.
void ProxyProbe::closeSocket()
{
    if (!m_socket.is_open())
        return;
    std::error_code ignored;
    m_socket.set_option(asio::socket_base::linger(true, 0), ignored);
    m_socket.close(ignored);
}

void ProxyProbe::finishShort(const std::error_code& error)
{
    m_outcome.localShortage = Text(error);
    finish();
}

steady_clock::rep ProxyProbe::triesLeft() const
{
    return steady_clock::rep(m_target.tries.size() - m_try);
}

steady_clock::duration ProxyProbe::timeLeft() const
{
    return std::max(m_deadline - steady_clock::now(), steady_clock::duration::zero());
}
