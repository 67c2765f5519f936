#include "ClientRequest.h"

#include "JudgePage.h"
#include "Socks5.h"

#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace {

// A reply of SOCKS5 with no bound address to tell.
QByteArray Socks5Reply(quint8 code)
{
    return QByteArray("\x05", 1) + char(code) + QByteArray("\x00\x01\0\0\0\0\0\0", 8);
}

QByteArray HttpReply(const QByteArray& status, const QByteArray& text)
{
    const QByteArray body = text + '\n';
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// HOST:PORT with the host as it was written, an IPv6 address in brackets; the port must be given
// (a CONNECT target) or defaults (a URL's authority).
std::optional<std::pair<QString, quint16>> SplitAuthority(QByteArrayView authority, std::optional<quint16> usualPort)
{
    const qsizetype bracketEnd = authority.startsWith('[') ? authority.indexOf(']') : -1;
    const qsizetype colon = authority.lastIndexOf(':');
    const bool hasPort = colon > bracketEnd && colon >= 0;
    QByteArrayView host = hasPort ? authority.first(colon) : authority;
    if (host.startsWith('[')) {
        if (!host.endsWith(']'))
            return std::nullopt;
        host = host.sliced(1, host.size() - 2);
        if (QHostAddress(QString::fromLatin1(host)).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
    }
    const auto nameCharacter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
            || c == ':' || c == '_';
    };
    if (host.isEmpty() || !std::all_of(host.begin(), host.end(), nameCharacter))
        return std::nullopt;
    if (!hasPort) {
        if (!usualPort)
            return std::nullopt;
        return std::pair{QString::fromLatin1(host), *usualPort};
    }
    bool isNumber = false;
    const uint port = authority.sliced(colon + 1).toByteArray().toUInt(&isNumber);
    if (!isNumber || port == 0 || port > 65535)
        return std::nullopt;
    return std::pair{QString::fromLatin1(host), quint16(port)};
}

// Headers that belong to one connection, and those its Connection header names: none of them
// goes on, and every request is the last of its connection.
bool IsHopByHop(const QByteArray& name, const QList<QByteArray>& named)
{
    static const QList<QByteArray> Always{
        "connection", "proxy-connection", "keep-alive", "proxy-authorization", "proxy-authenticate",
        "te",         "trailer",          "upgrade"};
    const QByteArray lower = name.toLower();
    return Always.contains(lower) || named.contains(lower);
}

} // namespace

QByteArray ClientRequest::granted() const
{
    return speech == Speech::Socks5 ? Socks5Reply(0) : QByteArray("HTTP/1.1 200 Connection established\r\n\r\n");
}

QByteArray ClientRequest::failed(const QString& reason) const
{
    if (speech == Speech::Socks5)
        return Socks5Reply(GeneralFailure);
    return HttpReply("502 Bad Gateway", "varnholt-cli serve: " + reason.toUtf8());
}

ClientRequestReader::State ClientRequestReader::read(QByteArrayView bytes)
{
    if (m_step == Step::Done)
        return m_state;
    m_in += bytes;
    if (m_step == Step::First && !m_in.isEmpty()) {
        const bool socks5 = quint8(m_in.at(0)) == Version5;
        m_step = socks5 ? Step::Socks5Greeting : Step::Http;
        m_request.speech = socks5 ? ClientRequest::Speech::Socks5 : ClientRequest::Speech::Http;
    }
    switch (m_step) {
    case Step::Http:
        return readHttp();
    case Step::Socks5Greeting:
        return readSocks5Greeting();
    case Step::Socks5Request:
        return readSocks5Request();
    default:
        return State::Incomplete;
    }
}

ClientRequestReader::State ClientRequestReader::readHttp()
{
    const qsizetype headEnd = m_in.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (m_in.size() > HeadCap)
            return refuse(HttpReply("431 Request Header Fields Too Large", "the request's header is too long"),
                          u"the request's header is longer than %1 bytes"_s.arg(HeadCap));
        return State::Incomplete;
    }
    const std::optional<HttpRequest> head = ReadHttpRequest(QByteArrayView(m_in).first(headEnd + 2));
    if (!head)
        return refuse(HttpReply("400 Bad Request", "this is no HTTP request"), u"no HTTP request"_s);
    m_request.early = m_in.mid(headEnd + 4);
    if (head->method == "CONNECT") {
        const auto target = SplitAuthority(head->target, std::nullopt);
        if (!target)
            return refuse(HttpReply("400 Bad Request", "CONNECT names a host and a port"), u"a malformed CONNECT"_s);
        m_request.kind = ClientRequest::Kind::Tunnel;
        std::tie(m_request.host, m_request.port) = *target;
        return ready();
    }
    static constexpr QByteArrayView Scheme = "http://";
    const QByteArrayView absolute(head->target);
    const qsizetype pathStart = absolute.startsWith(Scheme) ? absolute.indexOf('/', Scheme.size()) : -1;
    const qsizetype authorityEnd = pathStart < 0 ? absolute.size() : pathStart;
    const auto target = absolute.startsWith(Scheme)
        ? SplitAuthority(absolute.sliced(Scheme.size(), authorityEnd - Scheme.size()), quint16(80))
        : std::nullopt;
    if (!target)
        return refuse(HttpReply("400 Bad Request", "a proxy is asked for an http:// URL in full, or to CONNECT"),
                      u"not a proxy request"_s);
    std::tie(m_request.host, m_request.port) = *target;
    const QByteArray origin = pathStart < 0 ? QByteArray("/") : absolute.sliced(pathStart).toByteArray();

    QList<QByteArray> named; // by the Connection header
    for (const auto& [name, value] : head->headers) {
        if (name.compare("connection", Qt::CaseInsensitive) == 0) {
            for (const QByteArray& token : value.split(','))
                named.append(token.trimmed().toLower());
        }
    }
    QByteArray headers;
    for (const auto& [name, value] : head->headers) {
        if (!IsHopByHop(name, named))
            headers += name + ": " + value + "\r\n";
    }
    headers += "Connection: close\r\n\r\n";
    const QByteArray version = " " + head->protocol + "\r\n";
    m_request.absoluteHead = head->method + ' ' + head->target + version + headers;
    m_request.originHead = head->method + ' ' + origin + version + headers;
    return ready();
}

ClientRequestReader::State ClientRequestReader::readSocks5Greeting()
{
    if (m_in.size() < 2 || m_in.size() < 2 + quint8(m_in.at(1)))
        return State::Incomplete;
    const qsizetype methods = quint8(m_in.at(1));
    const bool noLogin = m_in.mid(2, methods).contains(char(NoLogin));
    m_in.remove(0, 2 + methods);
    if (!noLogin)
        return refuse(QByteArray{1, char(Version5)} + char(NoAcceptableMethod),
                      u"a SOCKS5 client that wants a login"_s);
    m_reply = QByteArray{1, char(Version5)} + char(NoLogin);
    m_step = Step::Socks5Request;
    return readSocks5Request();
}

// Version, command, reserved, the address's type, the address, the port.
ClientRequestReader::State ClientRequestReader::readSocks5Request()
{
    constexpr qsizetype Head = 4;
    if (m_in.size() < Head + 1)
        return State::Incomplete;
    const auto byte = [this](qsizetype at) { return quint8(m_in.at(at)); };
    if (byte(0) != Version5 || byte(1) != ConnectCommand)
        return refuse(Socks5Reply(CommandNotSupported), u"a SOCKS5 command other than CONNECT"_s);
    const quint8 type = byte(3);
    const qsizetype addressSize = type == Ipv4Type ? 4 : type == Ipv6Type ? 16 : type == NameType ? 1 + byte(Head) : -1;
    if (addressSize < 0)
        return refuse(Socks5Reply(AddressTypeNotSupported), u"a SOCKS5 address of an unknown type"_s);
    const qsizetype size = Head + addressSize + 2;
    if (m_in.size() < size)
        return State::Incomplete;
    const QByteArray address = m_in.mid(Head, addressSize);
    if (type == Ipv4Type) {
        m_request.host = QHostAddress(quint32(quint8(address[0])) << 24 | quint8(address[1]) << 16
                                      | quint8(address[2]) << 8 | quint8(address[3]))
                             .toString();
    } else if (type == Ipv6Type) {
        m_request.host = QHostAddress(reinterpret_cast<const quint8*>(address.constData())).toString();
    } else {
        m_request.host = QString::fromLatin1(address.mid(1));
        const bool plain = std::all_of(m_request.host.begin(), m_request.host.end(),
                                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
        if (m_request.host.isEmpty() || !plain)
            return refuse(Socks5Reply(GeneralFailure), u"a SOCKS5 host name that is no name"_s);
    }
    m_request.port = quint16(byte(size - 2) << 8 | byte(size - 1));
    m_request.kind = ClientRequest::Kind::Tunnel;
    m_request.early = m_in.mid(size);
    return ready();
}

ClientRequestReader::State ClientRequestReader::ready()
{
    m_step = Step::Done;
    return m_state = State::Ready;
}

ClientRequestReader::State ClientRequestReader::refuse(const QByteArray& reply, const QString& reason)
{
    m_reply += reply;
    m_refusal = reason;
    m_step = Step::Done;
    return m_state = State::Refused;
}
