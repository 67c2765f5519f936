#pragma once

#include "ProbeResult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// Checks one proxy at a time over one TCP connection per protocol tried: it connects, sends
// the handshake of each protocol the type names until one is answered, then, with a judge,
// fetches the judge's page through the proxy. The whole probe has one deadline, and reads at
// most AnswerCap bytes of any answer, so a proxy that never answers or sends without end
// costs a bounded time and memory.
class ProxyProbe final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyProbe)

public:
    static constexpr qsizetype AnswerCap = qsizetype(64) * 1024;

    explicit ProxyProbe(ProbeSettings settings, QObject* parent = nullptr);

    // finished() tells the result; the probe may be started again after it.
    void start(const QString& address, quint16 port, const QString& type);
    // Ends the probe in progress without a result.
    void abort();

Q_SIGNALS:
    void finished(const ProbeResult& result);

private:
    enum class Stage {
        Connecting,
        Greeting, // the handshake of the protocol tried is sent
        Socks5Connect, // the SOCKS5 proxy is asked to connect to the judge
        JudgeStatus, // the judge's page is asked for through the proxy
        JudgeBody, // a status 200 came; the page must hold the expected text
    };

    void connectAttempt();
    void onConnected();
    void onReadyRead();
    void onClosed();
    void advance();
    void readGreeting();
    void readSocks5Connect();
    void readJudgeStatus();
    void readJudgeBody();
    void askJudgeThroughTunnel();
    void tryNextProtocol();
    void finish(const QString& reason);

    ProbeSettings m_settings;
    QTcpSocket m_socket;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    QString m_address;
    quint16 m_port = 0;
    std::vector<ProxyProtocol> m_protocols;
    std::size_t m_attempt = 0;
    quint64 m_run = 0; // counts the starts, so a reconnection queued for an earlier one is dropped
    Stage m_stage = Stage::Connecting;
    QByteArray m_answer;
    ProbeResult m_result;
    bool m_running = false;
};
