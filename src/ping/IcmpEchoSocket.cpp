#include "IcmpEchoSocket.h"

#include "IcmpLibrary.h"
#include "RawSocketPrivilege.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

using namespace std::chrono;

namespace {

constexpr qsizetype IcmpHeaderSize = 8;
constexpr qsizetype SmallestIpHeader = 20;
constexpr qsizetype LargestPacket = 65535;
// An ICMP error quotes the IP header and the first eight bytes of the echo request.
constexpr qsizetype QuotedRequestRoom = 576;

struct IcmpMessage
{
    quint8 type = 0;
    quint8 code = 0;
    quint16 identifier = 0;
    quint16 sequence = 0;
    QByteArrayView payload;
};

std::optional<IcmpMessage> ParseIcmp(QByteArrayView bytes)
{
    if (bytes.size() < IcmpHeaderSize)
        return std::nullopt;
    const auto* header = reinterpret_cast<const uchar*>(bytes.data());
    return IcmpMessage{header[0], header[1], qFromBigEndian<quint16>(header + 4), qFromBigEndian<quint16>(header + 6),
                       bytes.sliced(IcmpHeaderSize)};
}

struct IpPacket
{
    quint32 source = 0; // network byte order
    quint8 protocol = 0;
    QByteArrayView payload;
};

std::optional<IpPacket> ParseIp(QByteArrayView bytes)
{
    if (bytes.size() < SmallestIpHeader)
        return std::nullopt;
    const auto* header = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype headerSize = qsizetype(header[0] & 0x0f) * 4;
    if (headerSize < SmallestIpHeader || bytes.size() < headerSize)
        return std::nullopt;
    IpPacket packet;
    std::memcpy(&packet.source, header + 12, sizeof packet.source);
    packet.protocol = header[9];
    packet.payload = bytes.sliced(headerSize);
    return packet;
}

bool IsErrorType(quint8 type)
{
    return type == ICMP_DEST_UNREACH || type == ICMP_SOURCE_QUENCH || type == ICMP_TIME_EXCEEDED
        || type == ICMP_PARAMETERPROB;
}

quint16 InternetChecksum(QByteArrayView bytes)
{
    quint32 sum = 0;
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        sum += qFromBigEndian<quint16>(data + i);
    if (bytes.size() % 2 != 0)
        sum += quint32(data[bytes.size() - 1]) << 8;
    while (sum > 0xffff)
        sum = (sum & 0xffff) + (sum >> 16);
    return quint16(~sum);
}

QByteArray EchoRequest(quint16 identifier, quint16 sequence, QByteArrayView data)
{
    QByteArray request(IcmpHeaderSize, '\0');
    auto* header = reinterpret_cast<uchar*>(request.data());
    header[0] = ICMP_ECHO;
    qToBigEndian(identifier, header + 4);
    qToBigEndian(sequence, header + 6);
    request.append(data);
    qToBigEndian(InternetChecksum(request), reinterpret_cast<uchar*>(request.data()) + 2);
    return request;
}

EchoOutcome Failure(qint32 status, quint32 responder = 0)
{
    return {status, responder, {}, {}};
}

EchoOutcome Reply(quint32 responder, QByteArrayView data)
{
    return {IpStatus::Success, responder, {}, data.toByteArray()};
}

// The queued error of a recvmsg on the error queue, and the address of the host that sent it.
struct QueuedError
{
    sock_extended_err error{};
    quint32 offender = 0;
};

// One read of a socket's error queue: the request the error quotes, and the control data
// that tells the error.
struct ErrorQueueMessage
{
    std::array<char, QuotedRequestRoom> quoted{};
    alignas(cmsghdr) std::array<char, 512> control{};
    iovec part{};
    msghdr header{};

    ssize_t receive(int socket)
    {
        part = {quoted.data(), quoted.size()};
        header = {};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control.data();
        header.msg_controllen = control.size();
        return ::recvmsg(socket, &header, MSG_ERRQUEUE | MSG_DONTWAIT);
    }
};

std::optional<QueuedError> FindQueuedError(msghdr& message)
{
    for (cmsghdr* control = CMSG_FIRSTHDR(&message); control; control = CMSG_NXTHDR(&message, control)) {
        if (control->cmsg_level != SOL_IP || control->cmsg_type != IP_RECVERR
            || control->cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
            continue;
        QueuedError queued;
        const unsigned char* data = CMSG_DATA(control);
        std::memcpy(&queued.error, data, sizeof queued.error);
        if (control->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in))) {
            sockaddr_in offender{};
            std::memcpy(&offender, data + sizeof queued.error, sizeof offender);
            if (offender.sin_family == AF_INET)
                queued.offender = offender.sin_addr.s_addr;
        }
        return queued;
    }
    return std::nullopt;
}

struct RawSocket
{
    int fd = -1;
    int error = 0; // errno when there is no socket
};

// The one moment the program holds CAP_NET_RAW in effect: it is lowered again on return.
RawSocket OpenRawSocket()
{
    const RawSocketPrivilege privilege;
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    return {fd, fd < 0 ? errno : 0};
}

} // namespace

qint32 IcmpErrorStatus(int type, int code)
{
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
            return IpStatus::DestinationNetUnreachable;
        case ICMP_PROT_UNREACH:
            return IpStatus::DestinationProtocolUnreachable;
        case ICMP_PORT_UNREACH:
            return IpStatus::DestinationPortUnreachable;
        case ICMP_FRAG_NEEDED:
            return IpStatus::PacketTooBig;
        case ICMP_SR_FAILED:
            return IpStatus::BadRoute;
        default: // the host itself, or the way to it, refuses or is unknown
            return IpStatus::DestinationHostUnreachable;
        }
    case ICMP_TIME_EXCEEDED:
        return code == ICMP_EXC_FRAGTIME ? IpStatus::TtlExpiredReassembly : IpStatus::TtlExpiredTransit;
    case ICMP_PARAMETERPROB:
        return IpStatus::ParameterProblem;
    case ICMP_SOURCE_QUENCH:
        return IpStatus::SourceQuench;
    default:
        return IpStatus::GeneralFailure;
    }
}

qint32 SocketErrorStatus(int error)
{
    switch (error) {
    case ENETUNREACH:
        return IpStatus::DestinationNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return IpStatus::DestinationHostUnreachable;
    case EMSGSIZE:
        return IpStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
        return IpStatus::NoResources;
    default:
        return IpStatus::GeneralFailure;
    }
}

OpenedIcmpSocket IcmpEchoSocket::open()
{
    const int datagram = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (datagram >= 0)
        return {IcmpEchoSocket(UniqueFd(datagram), Kind::Datagram), false};
    const RawSocket raw = OpenRawSocket();
    if (raw.fd >= 0)
        return {IcmpEchoSocket(UniqueFd(raw.fd), Kind::Raw), false};
    return {std::nullopt, raw.error == EPERM || raw.error == EACCES};
}

IcmpEchoSocket::IcmpEchoSocket(UniqueFd socket, Kind kind)
    : m_socket(std::move(socket))
    , m_kind(kind)
    , m_identifier(quint16(QRandomGenerator::global()->bounded(0x10000)))
    , m_sequence(quint16(QRandomGenerator::global()->bounded(0x10000)))
{
    // Without the error queue, host-unreachable and TTL-exceeded answers to an unconnected
    // socket are dropped and would look like time-outs.
    const int on = 1;
    ::setsockopt(m_socket.get(), SOL_IP, IP_RECVERR, &on, sizeof on);
}

EchoOutcome IcmpEchoSocket::echo(quint32 destination, QByteArrayView data, milliseconds timeout)
{
    discardQueuedErrors();
    ++m_sequence;
    const QByteArray request = EchoRequest(m_identifier, m_sequence, data);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const Clock::time_point sentAt = Clock::now();
    if (::sendto(m_socket.get(), request.constData(), size_t(request.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to)
        < 0)
        return Failure(SocketErrorStatus(errno));
    return awaitAnswer(sentAt, sentAt + timeout);
}

EchoOutcome IcmpEchoSocket::awaitAnswer(Clock::time_point sentAt, Clock::time_point deadline)
{
    QByteArray buffer(LargestPacket, Qt::Uninitialized);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return Failure(IpStatus::RequestTimedOut);
        pollfd ready{m_socket.get(), POLLIN, 0};
        const int waited = ::poll(&ready, 1, int(ceil<milliseconds>(deadline - now).count()));
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited < 0 || (ready.revents & POLLNVAL) != 0)
            return Failure(IpStatus::GeneralFailure);
        if (waited == 0)
            continue;
        std::optional<EchoOutcome> answer = (ready.revents & POLLERR) != 0 ? readQueuedError() : readPacket(buffer);
        if (answer) {
            answer->roundTrip = duration_cast<milliseconds>(Clock::now() - sentAt);
            return *answer;
        }
    }
}

std::optional<EchoOutcome> IcmpEchoSocket::readPacket(QByteArray& buffer)
{
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t received = ::recvfrom(m_socket.get(), buffer.data(), size_t(buffer.size()), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received < 0)
        return std::nullopt;
    const QByteArrayView packet(buffer.constData(), received);
    if (m_kind == Kind::Raw)
        return readRawPacket(packet);
    return readDatagramPacket(packet, from.sin_addr.s_addr);
}

// A raw socket gets every ICMP message the host receives, with its IP header: other programs'
// replies, errors about their packets, and on loopback the echo request itself.
std::optional<EchoOutcome> IcmpEchoSocket::readRawPacket(QByteArrayView packet) const
{
    const std::optional<IpPacket> ip = ParseIp(packet);
    if (!ip || ip->protocol != IPPROTO_ICMP)
        return std::nullopt;
    const std::optional<IcmpMessage> message = ParseIcmp(ip->payload);
    if (!message)
        return std::nullopt;
    if (message->type == ICMP_ECHOREPLY) {
        if (!isOurs(message->identifier, message->sequence))
            return std::nullopt;
        return Reply(ip->source, message->payload);
    }
    if (!IsErrorType(message->type))
        return std::nullopt;
    const std::optional<IpPacket> quoted = ParseIp(message->payload);
    if (!quoted || quoted->protocol != IPPROTO_ICMP)
        return std::nullopt;
    const std::optional<IcmpMessage> request = ParseIcmp(quoted->payload);
    if (!request || request->type != ICMP_ECHO || !isOurs(request->identifier, request->sequence))
        return std::nullopt;
    return Failure(IcmpErrorStatus(message->type, message->code), ip->source);
}

// The kernel hands a datagram socket only the echo replies to its own identifier.
std::optional<EchoOutcome> IcmpEchoSocket::readDatagramPacket(QByteArrayView packet, quint32 source) const
{
    const std::optional<IcmpMessage> message = ParseIcmp(packet);
    if (!message || message->type != ICMP_ECHOREPLY || !isOurs(message->identifier, message->sequence))
        return std::nullopt;
    return Reply(source, message->payload);
}

std::optional<EchoOutcome> IcmpEchoSocket::readQueuedError()
{
    ErrorQueueMessage message;
    const ssize_t received = message.receive(m_socket.get());
    if (received < 0)
        return std::nullopt;
    const std::optional<QueuedError> queued = FindQueuedError(message.header);
    if (!queued)
        return std::nullopt;
    if (queued->error.ee_origin != SO_EE_ORIGIN_ICMP)
        return Failure(SocketErrorStatus(int(queued->error.ee_errno)));
    // The error quotes the request it is about: a raw socket hears of other programs' echoes.
    const std::optional<IcmpMessage> request = ParseIcmp(QByteArrayView(message.quoted.data(), received));
    if (!request || request->type != ICMP_ECHO || !isOurs(request->identifier, request->sequence))
        return std::nullopt;
    return Failure(IcmpErrorStatus(queued->error.ee_type, queued->error.ee_code), queued->offender);
}

// Errors left from an earlier echo through this socket are not about the next one.
void IcmpEchoSocket::discardQueuedErrors()
{
    ErrorQueueMessage message;
    while (message.receive(m_socket.get()) >= 0) {
    }
}

bool IcmpEchoSocket::isOurs(quint16 identifier, quint16 sequence) const
{
    return sequence == m_sequence && (m_kind == Kind::Datagram || identifier == m_identifier);
}
