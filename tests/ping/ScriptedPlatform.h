#pragma once

#include "MessagePrompter.h"
#include "Module1.h"
#include "SocketLibrary.h"

#include <QHostAddress>
#include <QStringList>
#include <QtEndian>

// A system that sends nothing: the socket library grants what the test sets, every echo ends
// with the status chosen (a reply in 120 ms), and every call and message is noted in one log,
// the destination as dotted text.
class ScriptedPlatform final : public IcmpLibrary, public SocketLibrary, public MessagePrompter
{
public:
    SocketLibraryStart WSAStartup(quint16 requested) override
    {
        log.append(QStringLiteral("start, asking %1.%2").arg(requested & 0xff).arg(requested >> 8));
        return start;
    }
    qint32 WSACleanup() override
    {
        log.append(QStringLiteral("cleanup"));
        return cleanup;
    }
    IcmpHandle IcmpCreateFile() override
    {
        log.append(QStringLiteral("create"));
        return IcmpHandle(7);
    }
    void IcmpCloseHandle(IcmpHandle /*handle*/) override { log.append(QStringLiteral("close")); }
    void showMessage(const QString& text, MessageStyle style, const QString& title) override
    {
        log.append(QStringLiteral("%1 [%2, style %3]").arg(text, title).arg(int(style)));
    }

    quint32 IcmpSendEcho(IcmpHandle /*handle*/, qint32 destination, QByteArrayView /*requestData*/,
                         std::span<std::byte> replyBuffer, qint32 timeoutMs) override
    {
        const QHostAddress to(qFromBigEndian(qToLittleEndian(quint32(destination))));
        log.append(QStringLiteral("echo to %1, %2 ms").arg(to.toString()).arg(timeoutMs));
        qToLittleEndian(status, replyBuffer.data() + EchoReplyLayout::StatusOffset);
        if (status != IpStatus::Success)
            return 0;
        qToLittleEndian(qint32(120), replyBuffer.data() + EchoReplyLayout::RoundTripTimeOffset);
        return 1;
    }

    PingPlatform platform() { return {*this, *this, *this}; }

    SocketLibraryStart start{0, 0x0101, 32767};
    qint32 cleanup = 0;
    qint32 status = IpStatus::Success;
    QStringList log;
};

// The log of one ping that sends an echo to the dotted address given, or none.
inline QStringList PingLog(const QString& sentTo)
{
    QStringList log{QStringLiteral("start, asking 1.1"), QStringLiteral("create"), QStringLiteral("close"),
                    QStringLiteral("cleanup")};
    if (!sentTo.isEmpty())
        log.insert(2, QStringLiteral("echo to %1, 500 ms").arg(sentTo));
    return log;
}
