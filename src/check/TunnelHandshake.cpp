#include "TunnelHandshake.h"

#include "HostPort.h"
#include "Socks5.h"

#include <QHostAddress>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// A proxy's reply to a handshake is a few bytes; a CONNECT reply's header a few hundred.
constexpr qsizetype ConnectReplyCap = qsizetype{16} * 1024;

enum Socks4 : quint8 { ReplyVersion = 0, Granted = 90, FirstRefusal = 91, LastRefusal = 93, IdentityRefused = 93 };

QByteArray PortBytes(quint16 port)
{
    return QByteArray{1, char(port >> 8)} + char(port & 0xff);
}

QByteArray Ipv4Bytes(const QHostAddress& address)
{
    const quint32 value = address.toIPv4Address();
    return QByteArray{1, char(value >> 24)} + char((value >> 16) & 0xff) + char((value >> 8) & 0xff)
        + char(value & 0xff);
}

bool IsIpv4(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

// A field of RFC 1929 or a SOCKS5 host name: one length byte, so at most 255 bytes.
QByteArray ShortField(const QByteArray& bytes)
{
    const QByteArray field = bytes.left(255);
    return char(field.size()) + field;
}

QByteArray Socks5Greeting(bool withLogin)
{
    return withLogin ? QByteArray{"\x05\x02\x00\x02", 4} : QByteArray{"\x05\x01\x00", 3};
}

QByteArray Socks5ConnectRequest(const TunnelTarget& target)
{
    const QHostAddress address(target.host);
    QByteArray request{"\x05\x01\x00", 3};
    if (IsIpv4(address)) {
        request += char(Ipv4Type) + Ipv4Bytes(address);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        request += char(Ipv6Type) + QByteArray(reinterpret_cast<const char*>(bytes.c), sizeof bytes.c);
    } else {
        request += char(NameType) + ShortField(QUrl::toAce(target.host));
    }
    return request + PortBytes(target.port);
}

// SOCKS4 takes an IPv4 destination; any other is sent by name, as SOCKS4a does. The user id is
// the login's name: SOCKS4 has no password.
QByteArray Socks4Request(const TunnelTarget& target, const std::optional<ProxyLogin>& login)
{
    const QHostAddress address(target.host);
    const QByteArray user = login ? login->user : QByteArray();
    QByteArray request = "\x04\x01" + PortBytes(target.port);
    if (IsIpv4(address))
        return request + Ipv4Bytes(address) + user + '\0';
    return request + QByteArray("\0\0\0\x01", 4) + user + '\0' + QUrl::toAce(target.host) + '\0';
}

QByteArray ConnectRequest(const TunnelTarget& target, const std::optional<ProxyLogin>& login)
{
    const QByteArray authority = HostPort{target.host, target.port}.authority().toLatin1();
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + ProxyAuthorization(login) + "\r\n";
}

quint8 Byte(const QByteArray& bytes, qsizetype at)
{
    return quint8(bytes.at(at));
}

QString Socks5Refusal(quint8 code)
{
    static const char* const Reasons[] = {
        "",
        "general failure",
        "not allowed by its rules",
        "network unreachable",
        "host unreachable",
        "connection refused",
        "time to live expired",
        "command not supported",
        "address type not supported",
    };
    const QString reason = code < std::size(Reasons) ? QString::fromLatin1(Reasons[code]) : u"unknown code"_s;
    return u"the SOCKS5 proxy could not connect to the target: %1 (code %2)"_s.arg(reason, QString::number(code));
}

} // namespace

QByteArray ProxyAuthorization(const std::optional<ProxyLogin>& login)
{
    if (!login)
        return {};
    return "Proxy-Authorization: Basic " + (login->user + ':' + login->password).toBase64() + "\r\n";
}

TunnelHandshake::TunnelHandshake(ProxyProtocol protocol, TunnelTarget target, std::optional<ProxyLogin> login)
    : m_protocol(protocol)
    , m_target(std::move(target))
    , m_login(std::move(login))
    , m_step(protocol == ProxyProtocol::Socks5       ? Step::Socks5Method
                 : protocol == ProxyProtocol::Socks4 ? Step::Socks4Reply
                                                     : Step::ConnectReply)
    , m_connectReply(ConnectReplyCap, HttpAnswer::Framing::HeaderOnly)
{
}

QByteArray TunnelHandshake::opening() const
{
    switch (m_protocol) {
    case ProxyProtocol::Socks5:
        return Socks5Greeting(m_login.has_value());
    case ProxyProtocol::Socks4:
        return Socks4Request(m_target, m_login);
    default:
        return ConnectRequest(m_target, m_login);
    }
}

TunnelHandshake::State TunnelHandshake::read(QByteArrayView bytes)
{
    if (m_state != State::Incomplete)
        return m_state;
    if (m_step == Step::ConnectReply)
        return readConnectReply(bytes);
    m_answer += bytes;
    // One read may hold several replies: a proxy that answers the next step ahead is still read.
    for (;;) {
        const Step before = m_step;
        State state = State::Incomplete;
        switch (m_step) {
        case Step::Socks5Method:
            state = readSocks5Method();
            break;
        case Step::Socks5Login:
            state = readSocks5Login();
            break;
        case Step::Socks5Connect:
            state = readSocks5Connect();
            break;
        case Step::Socks4Reply:
            state = readSocks4Reply();
            break;
        case Step::ConnectReply:
            break;
        }
        if (state != State::Incomplete || m_step == before)
            return state;
    }
}

TunnelHandshake::State TunnelHandshake::readSocks5Method()
{
    if (!m_answer.isEmpty() && Byte(m_answer, 0) != Version5)
        return end(State::NotThisProtocol, u"no SOCKS5 answer"_s);
    if (m_answer.size() < 2)
        return State::Incomplete;
    m_speaks = true;
    const quint8 method = Byte(m_answer, 1);
    m_answer.remove(0, 2);
    if (method == NoLogin) {
        m_step = Step::Socks5Connect;
        m_toSend += Socks5ConnectRequest(m_target);
        return State::Incomplete;
    }
    if (method == UserPassword && m_login) {
        m_step = Step::Socks5Login;
        m_toSend += char(LoginVersion) + ShortField(m_login->user) + ShortField(m_login->password);
        return State::Incomplete;
    }
    if (method == UserPassword)
        return end(State::WantsLogin, u"the SOCKS5 proxy wants a login"_s);
    if (method == NoAcceptableMethod)
        return end(State::Refused,
                   m_login ? u"the SOCKS5 proxy accepts neither no login nor a password"_s
                           : u"the SOCKS5 proxy accepts no client without a login"_s);
    return end(State::Refused, u"the SOCKS5 proxy chose method %1, which was not offered"_s.arg(method));
}

// RFC 1929's reply is its version and a status, 0 for success.
TunnelHandshake::State TunnelHandshake::readSocks5Login()
{
    if (m_answer.size() < 2)
        return State::Incomplete;
    const quint8 status = Byte(m_answer, 1);
    m_answer.remove(0, 2);
    if (status != 0)
        return end(State::WantsLogin, u"the SOCKS5 proxy refused the login"_s);
    m_step = Step::Socks5Connect;
    m_toSend += Socks5ConnectRequest(m_target);
    return State::Incomplete;
}

// The reply is: version, code, reserved, address type, the bound address, its port.
TunnelHandshake::State TunnelHandshake::readSocks5Connect()
{
    constexpr qsizetype Head = 4;
    constexpr qsizetype PortSize = 2;
    if (m_answer.size() < Head + 1)
        return State::Incomplete;
    if (Byte(m_answer, 0) != Version5)
        return end(State::Refused, u"the SOCKS5 proxy's reply is garbled"_s);
    if (Byte(m_answer, 1) != 0)
        return end(State::Refused, Socks5Refusal(Byte(m_answer, 1)));
    qsizetype addressSize = 0;
    switch (Byte(m_answer, 3)) {
    case Ipv4Type:
        addressSize = 4;
        break;
    case NameType:
        addressSize = 1 + Byte(m_answer, Head);
        break;
    case Ipv6Type:
        addressSize = 16;
        break;
    default:
        return end(State::Refused, u"the SOCKS5 proxy's reply is garbled"_s);
    }
    const qsizetype replySize = Head + addressSize + PortSize;
    if (m_answer.size() < replySize)
        return State::Incomplete;
    m_answer.remove(0, replySize);
    return end(State::Open);
}

// Granted or refused, an 8-byte reply of version 0 is a SOCKS4 answer.
TunnelHandshake::State TunnelHandshake::readSocks4Reply()
{
    constexpr qsizetype ReplySize = 8;
    const bool shaped = m_answer.isEmpty()
        || (Byte(m_answer, 0) == ReplyVersion
            && (m_answer.size() < 2 || (Byte(m_answer, 1) >= Granted && Byte(m_answer, 1) <= LastRefusal)));
    if (!shaped)
        return end(State::NotThisProtocol, u"no SOCKS4 answer"_s);
    if (m_answer.size() < ReplySize)
        return State::Incomplete;
    m_speaks = true;
    const quint8 code = Byte(m_answer, 1);
    m_answer.remove(0, ReplySize);
    if (code == Granted)
        return end(State::Open);
    if (code == IdentityRefused)
        return end(State::WantsLogin, u"the SOCKS4 proxy refused the user id"_s);
    return end(State::Refused, u"the SOCKS4 proxy could not connect to the target (code %1)"_s.arg(code));
}

TunnelHandshake::State TunnelHandshake::readConnectReply(QByteArrayView bytes)
{
    const HttpAnswer::State state = m_connectReply.read(bytes);
    if (m_connectReply.status() >= 0)
        m_speaks = true;
    if (state == HttpAnswer::State::Incomplete)
        return State::Incomplete;
    if (!m_speaks)
        return end(State::NotThisProtocol, u"no HTTP answer"_s);
    if (state == HttpAnswer::State::Failed)
        return end(State::Refused, m_connectReply.failure());
    const int status = m_connectReply.status();
    m_answer = m_connectReply.takeRest();
    if (status >= 200 && status < 300)
        return end(State::Open);
    if (status == 407)
        return end(State::WantsLogin,
                   m_login ? u"the HTTP proxy refused the login"_s : u"the HTTP proxy wants a login"_s);
    return end(State::Refused, u"status %1 instead of a tunnel"_s.arg(status));
}

TunnelHandshake::State TunnelHandshake::end(State state, const QString& reason)
{
    if (state != State::Open)
        m_answer.clear(); // what came after a refusal is no tunnel's
    m_state = state;
    m_reason = reason;
    return state;
}
