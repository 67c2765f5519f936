#pragma once

#include "IcmpEchoSocket.h"
#include "IcmpLibrary.h"

#include <map>

class MessagePrompter;

// The echo calls on Linux ICMP sockets. Each handle owns one socket; a handle the system
// would not give a socket to is Invalid, and the user is told how to allow ICMP echoes.
class LinuxIcmpLibrary final : public IcmpLibrary
{
    Q_DISABLE_COPY_MOVE(LinuxIcmpLibrary)

public:
    explicit LinuxIcmpLibrary(MessagePrompter& prompter);
    ~LinuxIcmpLibrary() override = default;

    IcmpHandle IcmpCreateFile() override;
    // 0.0.0.0 names no host, though Linux would take it for this one: it is a bad destination
    // and nothing is sent.
    quint32 IcmpSendEcho(IcmpHandle handle, qint32 destination, QByteArrayView requestData,
                         std::span<std::byte> replyBuffer, qint32 timeoutMs) override;
    void IcmpCloseHandle(IcmpHandle handle) override;

private:
    EchoOutcome echo(IcmpHandle handle, qint32 destination, QByteArrayView requestData, qint32 timeoutMs);

    MessagePrompter& m_prompter;
    std::map<IcmpHandle, IcmpEchoSocket> m_sockets;
    qintptr m_lastHandle = 0;
};
