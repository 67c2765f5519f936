#include "WhoisSession.h"

#include <algorithm>

using namespace Qt::StringLiterals;

WhoisSession::WhoisSession(HostPort server, AddressSource selectedAddress, WhoisLimits limits, QObject* parent)
    : QObject(parent)
    , m_server(std::move(server))
    , m_selectedAddress(std::move(selectedAddress))
    , m_limits(limits)
{
    m_sock.setObjectName(u"Sock"_s);
    m_timer1.setObjectName(u"Timer1"_s);
    m_timer1.setSingleShot(true);
    m_timer1.setInterval(m_limits.connectTimeout);
    connect(&m_timer1, &QTimer::timeout, this, &WhoisSession::Timer1_Timer);
    connect(&m_sock, &QTcpSocket::connected, this, &WhoisSession::Sock_Connect);
    connect(&m_sock, &QTcpSocket::readyRead, this, &WhoisSession::Sock_DataArrival);
    connect(&m_sock, &QTcpSocket::disconnected, this, &WhoisSession::Sock_Close);
    connect(&m_sock, &QTcpSocket::errorOccurred, this, &WhoisSession::Sock_Error);
}

// The socket reports its own closing while it is destroyed, when the rest of the session is
// already gone: nobody is left to hear it.
WhoisSession::~WhoisSession()
{
    disconnect(&m_sock, nullptr, this, nullptr);
}

void WhoisSession::start()
{
    if (m_state != State::NotStarted)
        return;
    if (!m_selectedAddress()) {
        finish(State::NoProxySelected, u"*** No proxy selected."_s);
        return;
    }
    m_state = State::Connecting;
    // The timer runs before the attempt starts, since the socket may report a failure from
    // within connectToHost, and a failure must stop the timer.
    m_timer1.start();
    m_sock.connectToHost(m_server.host, m_server.portOr(DefaultServerPort));
}

void WhoisSession::close()
{
    if (!isActive() && m_state != State::NotStarted)
        return;
    m_state = State::Closed;
    m_timer1.stop();
    m_sock.abort();
}

// The address is read now, not when the lookup started: it is the row selected when the
// connection stands.
void WhoisSession::Sock_Connect()
{
    if (m_state != State::Connecting)
        return;
    const std::optional<QString> address = m_selectedAddress();
    if (!address) {
        finish(State::NoProxySelected, u"*** No proxy selected."_s);
        return;
    }
    m_timer1.stop();
    m_state = State::Receiving;
    publish(m_transcript.appendStatus(u"*** Whoising "_s + *address + u"...\r\n"_s));
    m_sock.write(address->toUtf8() + "\r\n");
}

void WhoisSession::Sock_DataArrival()
{
    if (m_state == State::Receiving)
        takeAnswer();
}

// Bytes that came with the close may still wait unread; they belong before the end line.
void WhoisSession::Sock_Close()
{
    if (m_state != State::Receiving || !takeAnswer())
        return;
    finish(State::Ended, u"\r\n*** End of whois."_s);
}

void WhoisSession::Sock_Error(QAbstractSocket::SocketError error)
{
    if (!isActive())
        return;
    // Qt tells of the server's closing as an error as well as by disconnected(): that is the
    // end of the answer, not a failure.
    if (error == QAbstractSocket::RemoteHostClosedError && m_state == State::Receiving) {
        Sock_Close();
        return;
    }
    if (m_state == State::Receiving && !takeAnswer())
        return;
    finish(State::Failed, u"*** Cannot connect to whois server."_s);
}

void WhoisSession::Timer1_Timer()
{
    if (m_state == State::Connecting)
        finish(State::TimedOut, u"*** Connection to whois server timed out.\r\n"_s);
}

// Appends what has arrived, up to the cap. False when the answer went past the cap and the
// lookup has ended there.
bool WhoisSession::takeAnswer()
{
    const qint64 room = m_limits.answerCap - m_answerBytes;
    const QByteArray bytes = m_sock.read(std::min(room, m_sock.bytesAvailable()));
    m_answerBytes += bytes.size();
    publish(m_transcript.appendAnswer(bytes));
    if (m_answerBytes < m_limits.answerCap || m_sock.bytesAvailable() == 0)
        return true;
    finish(State::AnswerTooLong, u"\r\n*** Answer too long; the rest was not read."_s);
    return false;
}

// The state changes first: closing the socket reports its disconnection at once, and an
// ended lookup no longer listens.
void WhoisSession::finish(State finalState, const QString& status)
{
    m_state = finalState;
    m_timer1.stop();
    m_sock.abort();
    publish(m_transcript.appendStatus(status));
}

void WhoisSession::publish(const QString& piece)
{
    if (!piece.isEmpty())
        Q_EMIT appended(piece);
}
