#pragma once

#include "HostPort.h"
#include "WhoisTranscript.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

struct WhoisLimits
{
    // Only the connection attempt is timed; once connected, a server may take as long as it likes.
    std::chrono::milliseconds connectTimeout{10000};
    // A server that never stops sending would otherwise fill the memory.
    qint64 answerCap = qint64{16} * 1024 * 1024;
};

// One whois lookup (RFC 3912): connects to the server, asks once for the address of the
// selected proxy when the connection stands, and keeps the transcript of the lookup: the
// answer as it arrives, framed by status lines. Nothing is retried; a new lookup needs a new
// session.
class WhoisSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhoisSession)

public:
    // The North American registry's whois service for IP addresses.
    static constexpr auto DefaultServerHost = "whois.arin.net";
    static constexpr quint16 DefaultServerPort = 43;

    enum class State {
        NotStarted,
        Connecting,
        Receiving,
        Ended,
        Failed,
        TimedOut,
        AnswerTooLong,
        NoProxySelected,
        Closed
    };
    Q_ENUM(State)

    // The address of the selected proxy, or nothing when no row is selected.
    using AddressSource = std::function<std::optional<QString>()>;

    // A server without a port is asked on the whois port, 43.
    WhoisSession(HostPort server, AddressSource selectedAddress, WhoisLimits limits = {}, QObject* parent = nullptr);
    ~WhoisSession() override;

    void start();
    // Ends the lookup where it stands, without a word in the transcript.
    void close();

    State state() const { return m_state; }
    const QString& transcript() const { return m_transcript.text(); }

Q_SIGNALS:
    void appended(const QString& piece);

private:
    bool isActive() const { return m_state == State::Connecting || m_state == State::Receiving; }

    void Sock_Connect();
    void Sock_DataArrival();
    void Sock_Close();
    void Sock_Error(QAbstractSocket::SocketError error);
    void Timer1_Timer();

    bool takeAnswer();
    void finish(State finalState, const QString& status);
    void publish(const QString& piece);

    HostPort m_server;
    AddressSource m_selectedAddress;
    WhoisLimits m_limits;
    QTcpSocket m_sock;
    QTimer m_timer1;
    WhoisTranscript m_transcript;
    qint64 m_answerBytes = 0;
    State m_state = State::NotStarted;
};
