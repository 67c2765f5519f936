#include "PingCommand.h"

#include "EchoReply.h"
#include "MessagePrompter.h"
#include "Module1.h"
#include "ProxyTable.h"

#include <QList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int LargestPart = 255;

bool IsAddressPart(QStringView part)
{
    if (part.isEmpty() || !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    bool ok = false;
    const int value = part.toInt(&ok);
    return ok && value <= LargestPart;
}

// Four decimal parts from 0 to 255. Anything else would be pinged as another host than the
// one shown (300.1.1.1 as 44.1.1.1) or as 0.0.0.0, which Linux takes for this host.
bool IsDottedQuad(const QString& address)
{
    const QList<QStringView> parts = QStringView(address).split(u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), IsAddressPart);
}

QString VerdictText(const QString& address, const EchoReply& reply)
{
    const bool alive = reply.Status == IpStatus::Success;
    return u"The IP "_s + address + (alive ? u" Is Alive."_s : u" Is Dead."_s) + u"\r\nDelay: "_s
        + QString::number(reply.RoundTripTime) + u" ms.\r\nStatus: "_s + IcmpStatusText(reply.Status);
}

} // namespace

PingCommand::PingCommand(const ProxyTable& table, MessagePrompter& prompter, IcmpLibrary& icmp, SocketLibrary& sockets)
    : m_table(table)
    , m_prompter(prompter)
    , m_icmp(icmp)
    , m_sockets(sockets)
{
}

void PingCommand::Command6_Click()
{
    const std::optional<ProxyEntry> proxy = m_table.selectedEntry();
    if (!proxy) {
        m_prompter.showMessage(u"No proxy is selected. Select a row of the list, then ping again."_s,
                               MessageStyle::Exclamation, MessagePrompter::defaultTitle());
        return;
    }
    EchoReply reply{};
    if (IsDottedQuad(proxy->ipAddress))
        Ping({m_icmp, m_sockets, m_prompter}, proxy->ipAddress, QString(), TimeoutMs, reply);
    else
        reply.Status = IpStatus::BadDestination;
    const bool alive = reply.Status == IpStatus::Success;
    m_prompter.showMessage(VerdictText(proxy->ipAddress, reply), alive ? MessageStyle::Information : MessageStyle::Stop,
                           alive ? u"IP Is Alive"_s : u"IP Is Dead"_s);
}
