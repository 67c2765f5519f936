#pragma once

#include "HttpAnswer.h"
#include "ProbeResult.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Where a tunnel leads: an address, or a host name that the proxy resolves.
struct TunnelTarget
{
    QString host;
    quint16 port = 0;
};

// The talk that opens a tunnel through a proxy — HTTP CONNECT, SOCKS5 (with a login by RFC 1929
// when one is given) or SOCKS4 (SOCKS4a for a target by name) — as bytes to send and bytes read,
// with no socket of its own, so the check's probes and the local server's upstream connections
// share it.
class TunnelHandshake final
{
public:
    enum class State {
        Incomplete, // more of the proxy's answer is needed; send what takeToSend() gives first
        Open, // the tunnel is open; takeRest() holds what came through it already
        Refused, // the proxy answered as its protocol does, and said no
        WantsLogin, // the proxy asks for a login, or refused the one given
        NotThisProtocol, // the answer is not of this protocol
    };

    TunnelHandshake(ProxyProtocol protocol, TunnelTarget target, std::optional<ProxyLogin> login);

    // What is sent once the connection opens.
    QByteArray opening() const;
    State read(QByteArrayView bytes);
    QByteArray takeToSend() { return std::exchange(m_toSend, {}); }
    QByteArray takeRest() { return std::exchange(m_answer, {}); }

    State state() const { return m_state; }
    // True once the proxy has answered as its protocol does, whatever it said.
    bool speaks() const { return m_speaks; }
    // Why the handshake ended without a tunnel.
    const QString& reason() const { return m_reason; }

private:
    enum class Step { Socks5Method, Socks5Login, Socks5Connect, Socks4Reply, ConnectReply };

    State readSocks5Method();
    State readSocks5Login();
    State readSocks5Connect();
    State readSocks4Reply();
    State readConnectReply(QByteArrayView bytes);
    State end(State state, const QString& reason = {});

    ProxyProtocol m_protocol;
    TunnelTarget m_target;
    std::optional<ProxyLogin> m_login;
    Step m_step;
    State m_state = State::Incomplete;
    QByteArray m_answer;
    QByteArray m_toSend;
    HttpAnswer m_connectReply;
    bool m_speaks = false;
    QString m_reason;
};

// The Proxy-Authorization header line, CR LF included, for a login; nothing without one.
QByteArray ProxyAuthorization(const std::optional<ProxyLogin>& login);
