#include "ProxyProbe.h"

#include "HostPort.h"

#include <QHostAddress>

#include <algorithm>
#include <cctype>

using namespace Qt::StringLiterals;

namespace {

QByteArray GetRequest(const QByteArray& target, const QByteArray& host)
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

// Network byte order, as both SOCKS versions write numbers.
QByteArray BigEndian(quint32 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int at = size - 1; at >= 0; --at, value >>= 8)
        bytes[at] = char(value & 0xff);
    return bytes;
}

QByteArray PortBytes(quint16 port)
{
    return BigEndian(port, 2);
}

QByteArray Ipv4Bytes(const QHostAddress& address)
{
    return BigEndian(address.toIPv4Address(), 4);
}

bool IsIpv4(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

// SOCKS4 takes an IPv4 destination; any other is sent by name, as SOCKS4a does.
QByteArray Socks4Request(const QString& host, quint16 port)
{
    const QHostAddress address(host);
    QByteArray request = "\x04\x01" + PortBytes(port);
    if (IsIpv4(address))
        return request + Ipv4Bytes(address) + '\0';
    return request + QByteArray("\0\0\0\x01\0", 5) + QUrl::toAce(host) + '\0';
}

QByteArray Socks5ConnectRequest(const QString& host, quint16 port)
{
    const QHostAddress address(host);
    QByteArray request("\x05\x01\x00", 3);
    if (IsIpv4(address)) {
        request += '\x01' + Ipv4Bytes(address);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        request += '\x04' + QByteArray(reinterpret_cast<const char*>(bytes.c), 16);
    } else {
        const QByteArray name = QUrl::toAce(host).left(255);
        request += '\x03' + QByteArray(1, char(name.size())) + name;
    }
    return request + PortBytes(port);
}

// The status code of an answer that begins "HTTP/1.x NNN"; 0 while too little of it has come
// to tell, -1 when it begins otherwise.
int StatusCode(const QByteArray& answer)
{
    static const QByteArray Start("HTTP/1.");
    constexpr qsizetype StatusEnd = 12;
    if (!answer.startsWith(Start.left(answer.size())))
        return -1;
    if (answer.size() < StatusEnd)
        return 0;
    const QByteArray code = answer.mid(9, 3);
    const bool shaped = std::isdigit(answer.at(7)) != 0 && answer.at(8) == ' '
        && std::all_of(code.begin(), code.end(), [](char c) { return std::isdigit(c) != 0; });
    return shaped ? code.toInt() : -1;
}

quint8 Byte(const QByteArray& bytes, qsizetype at)
{
    return quint8(bytes.at(at));
}

} // namespace

ProxyProbe::ProxyProbe(ProbeSettings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    m_socket.setReadBufferSize(AnswerCap);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(u"timed out"_s); });
    connect(&m_socket, &QTcpSocket::connected, this, &ProxyProbe::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &ProxyProbe::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &ProxyProbe::onClosed);
}

void ProxyProbe::start(const QString& address, quint16 port, const QString& type)
{
    m_address = address;
    m_port = port;
    m_protocols = ProtocolsFor(type);
    m_attempt = 0;
    ++m_run;
    m_result = {};
    m_running = true;
    m_clock.start();
    m_deadline.start(m_settings.timeout);
    connectAttempt();
}

void ProxyProbe::abort()
{
    m_running = false;
    m_deadline.stop();
    m_socket.abort();
}

void ProxyProbe::connectAttempt()
{
    if (!m_running)
        return;
    m_stage = Stage::Connecting;
    m_answer.clear();
    m_socket.abort();
    m_socket.connectToHost(m_address, m_port);
}

void ProxyProbe::onConnected()
{
    if (m_result.connectMs < 0)
        m_result.connectMs = m_clock.elapsed();
    m_result.level = std::max(m_result.level, ProbeLevel::Reachable);
    m_stage = Stage::Greeting;
    const std::optional<Judge>& judge = m_settings.judge;
    switch (m_protocols.at(m_attempt)) {
    case ProxyProtocol::Http:
        // Without a judge the proxy is asked for its own address: no third host hears of it.
        if (judge) {
            m_socket.write(GetRequest(judge->absoluteUrl, judge->hostHeader));
        } else {
            const QByteArray itself = HostPort{m_address, m_port}.authority().toLatin1();
            m_socket.write(GetRequest("http://" + itself + '/', itself));
        }
        break;
    case ProxyProtocol::Socks5:
        m_socket.write(QByteArray("\x05\x01\x00", 3)); // one method offered: no authentication
        break;
    case ProxyProtocol::Socks4:
        m_socket.write(judge ? Socks4Request(judge->host, judge->port) : Socks4Request(m_address, m_port));
        break;
    }
}

void ProxyProbe::onReadyRead()
{
    if (!m_running)
        return;
    m_answer += m_socket.read(AnswerCap - m_answer.size());
    advance();
    if (m_running && m_answer.size() >= AnswerCap)
        finish(u"the answer is longer than %1 bytes"_s.arg(AnswerCap));
}

// Errors and the end of the connection both come here; what has been read is already judged.
void ProxyProbe::onClosed()
{
    if (!m_running)
        return;
    switch (m_stage) {
    case Stage::Connecting:
        finish(m_socket.errorString());
        break;
    case Stage::Greeting:
        tryNextProtocol();
        break;
    case Stage::Socks5Connect:
    case Stage::JudgeStatus:
        finish(u"the connection closed before the judge answered"_s);
        break;
    case Stage::JudgeBody:
        finish(u"the judge's page lacks the expected text"_s);
        break;
    }
}

void ProxyProbe::advance()
{
    switch (m_stage) {
    case Stage::Connecting:
        break;
    case Stage::Greeting:
        readGreeting();
        break;
    case Stage::Socks5Connect:
        readSocks5Connect();
        break;
    case Stage::JudgeStatus:
        readJudgeStatus();
        break;
    case Stage::JudgeBody:
        readJudgeBody();
        break;
    }
}

void ProxyProbe::readGreeting()
{
    const ProxyProtocol protocol = m_protocols.at(m_attempt);
    const auto speaks = [this, protocol] {
        m_result.level = ProbeLevel::Speaks;
        m_result.protocol = protocol;
    };
    if (protocol == ProxyProtocol::Http) {
        // With a judge, the handshake is the judge's request already.
        const int status = StatusCode(m_answer);
        if (status < 0)
            return tryNextProtocol();
        if (status == 0)
            return;
        speaks();
        if (!m_settings.judge)
            return finish({});
        m_stage = Stage::JudgeStatus;
        return readJudgeStatus();
    }
    if (protocol == ProxyProtocol::Socks5) {
        if (m_answer.size() >= 1 && Byte(m_answer, 0) != 5)
            return tryNextProtocol();
        if (m_answer.size() < 2)
            return;
        if (Byte(m_answer, 1) != 0) {
            m_result.protocol = protocol;
            return finish(u"the SOCKS5 proxy wants a password"_s);
        }
        speaks();
        if (!m_settings.judge)
            return finish({});
        m_answer.clear();
        m_stage = Stage::Socks5Connect;
        m_socket.write(Socks5ConnectRequest(m_settings.judge->host, m_settings.judge->port));
        return;
    }
    if (m_answer.size() >= 2 && (Byte(m_answer, 0) != 0 || Byte(m_answer, 1) < 90 || Byte(m_answer, 1) > 93))
        return tryNextProtocol();
    if (m_answer.size() < 8)
        return;
    speaks(); // granted or refused: either way it is a SOCKS4 reply
    if (!m_settings.judge)
        return finish({});
    if (Byte(m_answer, 1) != 90)
        return finish(u"the SOCKS4 proxy refused to connect to the judge"_s);
    m_answer.remove(0, 8);
    askJudgeThroughTunnel();
}

// The reply is: version, code, reserved, address type, the bound address, its port.
void ProxyProbe::readSocks5Connect()
{
    if (m_answer.size() < 5)
        return;
    if (Byte(m_answer, 0) != 5)
        return finish(u"the SOCKS5 proxy's reply is garbled"_s);
    if (Byte(m_answer, 1) != 0)
        return finish(u"the SOCKS5 proxy refused to connect to the judge (code %1)"_s.arg(Byte(m_answer, 1)));
    qsizetype addressSize = 0;
    switch (Byte(m_answer, 3)) {
    case 1:
        addressSize = 4;
        break;
    case 3:
        addressSize = 1 + Byte(m_answer, 4);
        break;
    case 4:
        addressSize = 16;
        break;
    default:
        return finish(u"the SOCKS5 proxy's reply is garbled"_s);
    }
    const qsizetype replySize = 4 + addressSize + 2;
    if (m_answer.size() < replySize)
        return;
    m_answer.remove(0, replySize);
    askJudgeThroughTunnel();
}

void ProxyProbe::askJudgeThroughTunnel()
{
    m_stage = Stage::JudgeStatus;
    m_socket.write(GetRequest(m_settings.judge->path, m_settings.judge->hostHeader));
    readJudgeStatus();
}

void ProxyProbe::readJudgeStatus()
{
    const int status = StatusCode(m_answer);
    if (status == 0)
        return;
    if (status < 0)
        return finish(u"the judge's answer came back garbled"_s);
    if (status != 200)
        return finish(u"status %1 instead of the judge's page"_s.arg(status));
    if (m_settings.judge->expect.isEmpty()) {
        m_result.level = ProbeLevel::Works;
        return finish({});
    }
    m_stage = Stage::JudgeBody;
    readJudgeBody();
}

void ProxyProbe::readJudgeBody()
{
    const qsizetype headerEnd = m_answer.indexOf("\r\n\r\n");
    if (headerEnd < 0 || m_answer.indexOf(m_settings.judge->expect, headerEnd + 4) < 0)
        return;
    m_result.level = ProbeLevel::Works;
    finish({});
}

void ProxyProbe::tryNextProtocol()
{
    m_stage = Stage::Connecting; // what else the proxy sends on this connection is not read
    m_answer.clear();
    m_socket.abort();
    if (++m_attempt < m_protocols.size()) {
        // A socket is not connected again from inside its own signal: the loop does it, unless
        // this probe has ended, or moved on to another proxy, by then.
        QTimer::singleShot(0, this, [this, run = m_run] {
            if (run == m_run)
                connectAttempt();
        });
        return;
    }
    finish(m_protocols.size() == 1 ? u"no %1 answer"_s.arg(ProtocolName(m_protocols.front()))
                                   : u"no proxy protocol answered"_s);
}

void ProxyProbe::finish(const QString& reason)
{
    if (!m_running)
        return;
    m_result.totalMs = m_clock.elapsed();
    m_result.reason = reason;
    abort();
    Q_EMIT finished(m_result);
}
