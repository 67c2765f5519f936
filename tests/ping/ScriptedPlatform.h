#pragma once

#include "LinuxSocketLibrary.h"
#include "MessagePrompter.h"
#include "Module1.h"

#include <QHostAddress>
#include <QStringList>
#include <QtEndian>

// An ICMP library that sends nothing: every echo ends with the status chosen (a reply in 120 ms),
// and every call and message is noted in one log, the destination as dotted text.
class ScriptedPlatform final : public IcmpLibrary, public MessagePrompter
{
public:
    IcmpHandle IcmpCreateFile() override
    {
        log.append(QStringLiteral("create"));
        return IcmpHandle(7);
    }
    void IcmpCloseHandle(IcmpHandle handle) override { log.append(QStringLiteral("close %1").arg(qintptr(handle))); }
    void showMessage(const QString& text, MessageStyle style, const QString& title) override
    {
        log.append(QStringLiteral("%1 [%2, style %3]").arg(text, title).arg(int(style)));
    }

    quint32 IcmpSendEcho(IcmpHandle handle, qint32 destination, QByteArrayView /*requestData*/,
                         std::span<std::byte> replyBuffer, qint32 timeoutMs) override
    {
        const QHostAddress to(qFromBigEndian(qToLittleEndian(quint32(destination))));
        log.append(QStringLiteral("echo through %1 to %2, %3 bytes, %4 ms")
                       .arg(QString::number(qintptr(handle)), to.toString(), QString::number(replyBuffer.size()),
                            QString::number(timeoutMs)));
        qToLittleEndian(status, replyBuffer.data() + EchoReplyLayout::StatusOffset);
        if (status != IpStatus::Success)
            return 0;
        qToLittleEndian(qint32(120), replyBuffer.data() + EchoReplyLayout::RoundTripTimeOffset);
        return 1;
    }

    PingPlatform platform() { return {*this, m_sockets, *this}; }

    qint32 status = IpStatus::Success;
    QStringList log;

private:
    LinuxSocketLibrary m_sockets;
};

// The log of one ping that sends an echo to the dotted address given, or none.
inline QStringList PingLog(const QString& sentTo)
{
    if (sentTo.isEmpty())
        return {QStringLiteral("create"), QStringLiteral("close 7")};
    return {QStringLiteral("create"), QStringLiteral("echo through 7 to %1, 278 bytes, 500 ms").arg(sentTo),
            QStringLiteral("close 7")};
}
