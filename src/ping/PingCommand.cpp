#include "PingCommand.h"

#include "EchoReply.h"

using namespace Qt::StringLiterals;

PingCommand::PingCommand(PingPlatform platform)
    : m_platform(platform)
{
}

// The address in the message is the text asked about, exactly, not the converted value.
PingVerdict PingCommand::ping(const QString& address)
{
    EchoReply reply{};
    Ping(m_platform, address, QString(), TimeoutMs, reply);
    PingVerdict verdict;
    verdict.alive = reply.Status == IpStatus::Success;
    verdict.statusText = IcmpStatusText(reply.Status);
    verdict.message = u"The IP "_s + address + (verdict.alive ? u" Is Alive."_s : u" Is Dead."_s) + u"\r\nDelay: "_s
        + QString::number(reply.RoundTripTime) + u" ms.\r\nStatus: "_s + verdict.statusText;
    verdict.title = verdict.alive ? u"IP Is Alive"_s : u"IP Is Dead"_s;
    verdict.style = verdict.alive ? MessageStyle::Information : MessageStyle::Stop;
    return verdict;
}
