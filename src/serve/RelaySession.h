#pragma once

#include "ClientRequest.h"
#include "TunnelHandshake.h"
#include "UpstreamPool.h"

#include <QString>

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>

struct ServeLimits
{
    static constexpr int Attempts = 3; // upstream proxies tried for one request at most
    std::chrono::milliseconds requestTimeout{10000}; // for a client to send its request
    std::chrono::milliseconds upstreamTimeout{6000}; // for a proxy to connect and open its tunnel
    std::chrono::milliseconds idleTimeout{300000}; // a connection with no byte either way is closed
    int maxClients = 256;
};

// One client connection as the log tells it.
struct RelayRecord
{
    QString client;
    QString target; // HOST:PORT, as the client named it
    QString upstream; // the proxy that carried it; empty when none did
    quint64 sent = 0; // from the client on
    quint64 received = 0; // back to the client
    QString outcome;
};

class RelaySession;

// What the sessions of a server share, on the server's thread; the counters are read from
// others too. It lives as long as the last session.
struct ServerState
{
    ServerState(ServeLimits limits, std::function<void(const RelayRecord&)> log)
        : limits(limits)
        , log(std::move(log))
    {
    }

    ServeLimits limits;
    std::function<void(const RelayRecord&)> log; // called on the server's thread
    UpstreamPool pool;
    std::unordered_set<RelaySession*> sessions;
    std::atomic<int> clients = 0;
    std::atomic<quint64> relayed = 0;
    std::atomic<int> working = 0;
};

// One client of the local server: its request read, an upstream proxy chosen in turn and its
// tunnel opened (another tried, up to three, while none of the client's bytes has gone through
// one), then the bytes relayed both ways. Each way reads only once its last bytes are written, so
// a client that reads nothing stops the reading of its upstream: memory does not grow. It owns
// itself while it runs.
class RelaySession final : public std::enable_shared_from_this<RelaySession>
{
public:
    RelaySession(asio::ip::tcp::socket client, std::shared_ptr<ServerState> server);
    ~RelaySession();
    RelaySession(const RelaySession&) = delete;
    RelaySession& operator=(const RelaySession&) = delete;

    void start();
    void close(const QString& outcome);

private:
    // One way of the relay: what is read from one socket is written to the other, a piece at a
    // time, the buffer held only while a piece is on its way.
    static constexpr std::size_t Piece = std::size_t{256} * 1024; // read and written at once, while data flows

    struct Way
    {
        asio::ip::tcp::socket* from = nullptr;
        asio::ip::tcp::socket* to = nullptr;
        std::unique_ptr<std::array<char, Piece>> buffer;
        quint64 bytes = 0;
        bool ended = false;
    };

    void readRequest();
    void onRequest(ClientRequestReader::State state);
    void tryUpstream();
    void onUpstreamConnected(const std::error_code& error);
    void readHandshake();
    void onHandshake(TunnelHandshake::State state);
    void attemptFailed(const QString& reason, bool setAside);
    void startRelay(const QByteArray& toClient, const QByteArray& toUpstream);
    void wait(Way& way);
    void pass(Way& way);
    void onIdleCheck();
    void replyAndClose(const QByteArray& reply, const QString& outcome);
    void writeTo(asio::ip::tcp::socket& socket, QByteArray bytes, std::function<void()> then);
    void arm(std::chrono::milliseconds wait, const QString& outcome);

    asio::ip::tcp::socket m_client;
    asio::ip::tcp::socket m_upstream;
    asio::steady_timer m_timer;
    std::shared_ptr<ServerState> m_server;
    ClientRequestReader m_reader;
    ClientRequest m_request;
    std::vector<Upstream> m_tried;
    QStringList m_failures;
    std::optional<TunnelHandshake> m_handshake;
    Way m_toUpstream;
    Way m_toClient;
    std::chrono::steady_clock::time_point m_lastActivity;
    RelayRecord m_record;
    bool m_closed = false;
};
