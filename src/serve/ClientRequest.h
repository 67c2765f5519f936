#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a client of the local server asks for: an HTTP request to be handed on whole, or a
// tunnel (HTTP CONNECT or SOCKS5 CONNECT) to a host and port. The host stays as the client named
// it: a name is never resolved here, but by the proxy that carries the request.
struct ClientRequest
{
    enum class Kind { Forward, Tunnel };
    enum class Speech { Http, Socks5 }; // how the client talks, and how it is answered

    Kind kind = Kind::Forward;
    Speech speech = Speech::Http;
    QString host;
    quint16 port = 0;
    QByteArray absoluteHead; // a forwarded request as an HTTP proxy takes it, ending in its empty line
    QByteArray originHead; // the same in origin form, as the target itself takes it through a tunnel
    QByteArray early; // what the client sent after its request: a body's start, or the tunnel's

    // What the client is told when its tunnel is open.
    QByteArray granted() const;
    // What it is told when no proxy could carry its request.
    QByteArray failed(const QString& reason) const;
};

// Reads a client's first bytes: an HTTP proxy request (absolute form, or CONNECT), or SOCKS5
// without a login, told apart by the first byte. Bounded: a request head longer than the cap is
// refused.
class ClientRequestReader final
{
public:
    enum class State {
        Incomplete, // more is needed; send what takeReply() gives first (a SOCKS5 method reply)
        Ready, // request() is what the client asks
        Refused, // takeReply() tells the client why; then the connection is closed
    };

    static constexpr qsizetype HeadCap = qsizetype(16) * 1024;

    State read(QByteArrayView bytes);
    QByteArray takeReply() { return std::exchange(m_reply, {}); }
    const ClientRequest& request() const { return m_request; }
    // Why the request was refused, for the log.
    const QString& refusal() const { return m_refusal; }

private:
    State readHttp();
    State readSocks5Greeting();
    State readSocks5Request();
    State ready();
    State refuse(const QByteArray& reply, const QString& reason);

    enum class Step { First, Http, Socks5Greeting, Socks5Request, Done };

    Step m_step = Step::First;
    State m_state = State::Incomplete;
    QByteArray m_in;
    QByteArray m_reply;
    ClientRequest m_request;
    QString m_refusal;
};
