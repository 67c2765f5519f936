#pragma once

#include "MessagePrompter.h"
#include "Module1.h"

#include <QString>

// What one ping came to, and how the window tells it: a message box with this text, title and
// icon.
struct PingVerdict
{
    bool alive = false;
    QString statusText;
    QString message; // three lines joined by CR LF: the verdict, the delay and the status
    QString title;
    MessageStyle style = MessageStyle::Stop;
};

// "&Ping...": one ICMP echo to a proxy's address, and its verdict. Anything the socket library
// has to say comes up during the ping, before the verdict.
class PingCommand final
{
    Q_DISABLE_COPY_MOVE(PingCommand)

public:
    static constexpr qint16 TimeoutMs = 500;

    explicit PingCommand(PingPlatform platform);

    // Blocks the caller while the echo is awaited, at most the time-out.
    PingVerdict ping(const QString& address);

private:
    PingPlatform m_platform;
};
