#pragma once

#include "IcmpLibrary.h"
#include "Module1.h"
#include "RecordingPrompter.h"
#include "SocketLibrary.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>
#include <QtEndian>

#include <optional>
#include <span>

// A socket library that answers as the test tells it and notes each call in a shared log.
class ScriptedSocketLibrary final : public SocketLibrary
{
public:
    explicit ScriptedSocketLibrary(QStringList& calls)
        : m_calls(calls)
    {
    }

    SocketLibraryStart WSAStartup(quint16 requestedVersion) override
    {
        m_calls.append(QStringLiteral("WSAStartup %1").arg(requestedVersion, 4, 16, QLatin1Char('0')));
        return start;
    }

    qint32 WSACleanup() override
    {
        m_calls.append(QStringLiteral("WSACleanup"));
        return cleanupResult;
    }

    SocketLibraryStart start{0, 0x0101, 32767};
    qint32 cleanupResult = 0;

private:
    QStringList& m_calls;
};

// An ICMP library whose echo writes the header fields the test chose, notes what it was asked
// and sends nothing.
class ScriptedIcmpLibrary final : public IcmpLibrary
{
public:
    static constexpr auto Handle = IcmpHandle(7);

    struct Echo
    {
        IcmpHandle handle = IcmpHandle::Invalid;
        qint32 destination = 0;
        QByteArray data;
        std::size_t bufferSize = 0;
        qint32 timeoutMs = 0;
    };

    explicit ScriptedIcmpLibrary(QStringList& calls)
        : m_calls(calls)
    {
    }

    IcmpHandle IcmpCreateFile() override
    {
        m_calls.append(QStringLiteral("IcmpCreateFile"));
        return Handle;
    }

    quint32 IcmpSendEcho(IcmpHandle handle, qint32 destination, QByteArrayView requestData,
                         std::span<std::byte> replyBuffer, qint32 timeoutMs) override
    {
        m_calls.append(QStringLiteral("IcmpSendEcho"));
        echoes.append({handle, destination, requestData.toByteArray(), replyBuffer.size(), timeoutMs});
        qToLittleEndian(status, replyBuffer.data() + EchoReplyLayout::StatusOffset);
        if (roundTripTime)
            qToLittleEndian(*roundTripTime, replyBuffer.data() + EchoReplyLayout::RoundTripTimeOffset);
        return replies;
    }

    void IcmpCloseHandle(IcmpHandle handle) override
    {
        m_calls.append(QStringLiteral("IcmpCloseHandle %1").arg(qintptr(handle)));
    }

    // The answer every echo gets; a round-trip time of none leaves the record's own in place.
    quint32 replies = 1;
    qint32 status = IpStatus::Success;
    std::optional<qint32> roundTripTime = 31;

    QList<Echo> echoes;

private:
    QStringList& m_calls;
};

// The scripted system a ping runs on, every call noted in one log.
struct ScriptedPlatform
{
    QStringList calls;
    ScriptedSocketLibrary sockets{calls};
    ScriptedIcmpLibrary icmp{calls};
    RecordingPrompter prompter;

    PingPlatform platform() { return {icmp, sockets, prompter}; }
};

// So that QCOMPARE prints the messages it compares.
inline char* toString(const RecordingPrompter::Message& message)
{
    return QTest::toString(QStringLiteral("%1 [style %2, title %3]")
                               .arg(message.text, QString::number(int(message.style)), message.title));
}
