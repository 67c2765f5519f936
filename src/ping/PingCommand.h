#pragma once

#include <QtGlobal>

class IcmpLibrary;
class MessagePrompter;
class ProxyTable;
class SocketLibrary;

// "&Ping...": one ICMP echo to the selected proxy's address, and the verdict in a message box.
class PingCommand final
{
    Q_DISABLE_COPY_MOVE(PingCommand)

public:
    static constexpr qint16 TimeoutMs = 500;

    PingCommand(const ProxyTable& table, MessagePrompter& prompter, IcmpLibrary& icmp, SocketLibrary& sockets);

    // Blocks the caller while the echo is awaited and until the user has closed the verdict.
    void Command6_Click();

private:
    const ProxyTable& m_table;
    MessagePrompter& m_prompter;
    IcmpLibrary& m_icmp;
    SocketLibrary& m_sockets;
};
