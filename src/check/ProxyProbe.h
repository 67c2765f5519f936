#pragma once

#include "Judge.h"
#include "ProbeResult.h"
#include "TunnelHandshake.h"

#include <QElapsedTimer>
#include <QHostAddress>

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <functional>
#include <memory>

// What every probe of a check shares, read-only on the engine's thread.
struct ProbeContext
{
    ProbeSettings settings;
    std::optional<Judge> judge;
    QHostAddress checkerAddress; // as the judge sees the checker, once it was asked directly
    QHostAddress judgeAddress; // where the judge was reached: what a SOCKS tunnel is asked for
};

// One proxy to probe.
struct ProbeTarget
{
    QString host; // an address or a name
    quint16 port = 0;
    std::vector<ProxyProtocol> tries;
    std::optional<ProxyLogin> login;
    bool sendsHostNames = false;
};

struct ProbeOutcome
{
    ProbeResult result;
    // Set when this machine ran short (open files, buffers, memory, local ports) before the
    // probe could tell anything of the proxy: the result is then no verdict at all.
    QString localShortage;
};

// Probes one proxy on the engine's thread: each protocol tried on a connection of its own, one
// after another, each with an equal share of the time left, so a proxy that waits for a request
// longer than another protocol's sends is still found. With a judge, the judge's page is asked
// for through the proxy, and only the judge's echo of this probe's token counts. It owns itself
// while it runs: the handlers it waits on hold it.
class ProxyProbe final : public std::enable_shared_from_this<ProxyProbe>
{
public:
    using Done = std::function<void(ProbeOutcome&&)>;

    ProxyProbe(asio::io_context& context, ProbeTarget target, std::shared_ptr<const ProbeContext> shared, Done done);
    ProxyProbe(const ProxyProbe&) = delete;
    ProxyProbe& operator=(const ProxyProbe&) = delete;

    static void start(asio::io_context& context, ProbeTarget target, std::shared_ptr<const ProbeContext> shared,
                      Done done);

private:
    enum class Stage { Connecting, Handshake, Answer };

    void begin();
    void startResolving();
    void nextTry();
    void arm(std::chrono::steady_clock::duration wait);
    void onConnected(const std::error_code& error);
    void talk();
    void waitReadable();
    void onReadable();
    void onBytes(QByteArrayView bytes);
    void onEnd();
    void readHandshake(TunnelHandshake::State state);
    void readAnswer(HttpAnswer::State state);
    void askJudgeThroughTunnel();
    void send(const QByteArray& bytes);
    void flush();
    void reached(ProbeLevel level);
    void tryFailed(const QString& reason);
    void finishTry(const QString& reason);
    void finish();
    void closeSocket();
    void finishShort(const std::error_code& error);
    std::chrono::steady_clock::duration timeLeft() const;
    std::chrono::steady_clock::rep triesLeft() const;

    // A handler belongs to the try that started it: one of an earlier try is dropped.
    template <typename Handler>
    auto guarded(Handler handler);

    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_timer;
    asio::ip::tcp::resolver m_resolver;
    ProbeTarget m_target;
    std::shared_ptr<const ProbeContext> m_shared;
    Done m_done;
    asio::ip::tcp::endpoint m_endpoint;
    QElapsedTimer m_clock;
    std::chrono::steady_clock::time_point m_deadline;
    std::size_t m_try = 0;
    quint64 m_generation = 0;
    Stage m_stage = Stage::Connecting;
    std::optional<TunnelHandshake> m_handshake;
    std::optional<JudgeQuery> m_query;
    std::optional<HttpAnswer> m_ownAnswer; // without a judge, an HTTP proxy is asked for its own address
    ProbeLevel m_tryLevel = ProbeLevel::None;
    QString m_tryReason;
    bool m_connectedOnce = false;
    bool m_everyTryTimedOut = true;
    QByteArray m_outgoing;
    QByteArray m_sending;
    bool m_writing = false;
    bool m_finished = false;
    ProbeOutcome m_outcome;
};
