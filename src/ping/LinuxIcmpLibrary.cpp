#include "LinuxIcmpLibrary.h"

#include "MessagePrompter.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString NotPermittedMessage()
{
    return u"This system does not allow this program to send ICMP echo requests, so it cannot ping.\n\n"
           u"To let every user ping, a system administrator can allow unprivileged ICMP sockets "
           u"for all groups:\n"
           u"sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n\n"
           u"Or allow this program alone to open raw ICMP sockets, which it does only when the "
           u"other kind is refused:\n"
           u"setcap cap_net_raw+p \"%1\""_s.arg(QCoreApplication::applicationFilePath());
}

void WriteOutcome(const EchoOutcome& outcome, std::span<std::byte> buffer)
{
    using namespace EchoReplyLayout;
    qToLittleEndian(outcome.status, buffer.data() + StatusOffset);
    if (outcome.responder != 0)
        std::memcpy(buffer.data() + AddressOffset, &outcome.responder, sizeof outcome.responder);
    if (outcome.status != IpStatus::Success)
        return;
    qToLittleEndian(qint32(outcome.roundTrip.count()), buffer.data() + RoundTripTimeOffset);
    const std::span<std::byte> dataArea = buffer.subspan(HeaderSize);
    const auto echoed = std::min<std::size_t>(size_t(outcome.data.size()), dataArea.size());
    std::memcpy(dataArea.data(), outcome.data.constData(), echoed);
    qToLittleEndian(quint16(echoed), buffer.data() + DataSizeOffset);
}

} // namespace

LinuxIcmpLibrary::LinuxIcmpLibrary(MessagePrompter& prompter)
    : m_prompter(prompter)
{
}

IcmpHandle LinuxIcmpLibrary::IcmpCreateFile()
{
    OpenedIcmpSocket opened = IcmpEchoSocket::open();
    if (!opened.socket) {
        if (opened.notPermitted)
            m_prompter.showMessage(NotPermittedMessage(), MessageStyle::Exclamation, MessagePrompter::defaultTitle());
        return IcmpHandle::Invalid;
    }
    const auto handle = IcmpHandle(++m_lastHandle);
    m_sockets.emplace(handle, std::move(*opened.socket));
    return handle;
}

quint32 LinuxIcmpLibrary::IcmpSendEcho(IcmpHandle handle, qint32 destination, QByteArrayView requestData,
                                       std::span<std::byte> replyBuffer, qint32 timeoutMs)
{
    if (replyBuffer.size() < EchoReplyLayout::HeaderSize)
        return 0;
    const EchoOutcome outcome = echo(handle, destination, requestData, timeoutMs);
    WriteOutcome(outcome, replyBuffer);
    return outcome.status == IpStatus::Success ? 1 : 0;
}

void LinuxIcmpLibrary::IcmpCloseHandle(IcmpHandle handle)
{
    m_sockets.erase(handle);
}

EchoOutcome LinuxIcmpLibrary::echo(IcmpHandle handle, qint32 destination, QByteArrayView requestData, qint32 timeoutMs)
{
    // The address value's bytes in little-endian order are the address in network order.
    const quint32 address = qToLittleEndian(quint32(destination));
    if (address == 0)
        return {IpStatus::BadDestination, 0, {}, {}};
    const auto socket = m_sockets.find(handle);
    if (socket == m_sockets.end())
        return {IpStatus::GeneralFailure, 0, {}, {}};
    return socket->second.echo(address, requestData, std::chrono::milliseconds(timeoutMs));
}
