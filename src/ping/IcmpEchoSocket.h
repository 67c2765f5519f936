#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <optional>

// What one echo request came to.
struct EchoOutcome
{
    qint32 status = 0; // an IpStatus code
    quint32 responder = 0; // who answered, network byte order; 0 when nobody did
    std::chrono::milliseconds roundTrip{0}; // for a reply
    QByteArray data; // the echoed data of a reply
};

// The IpStatus code for an ICMP error message of this type and code.
qint32 IcmpErrorStatus(int type, int code);
// The IpStatus code for a socket call that failed with this errno value.
qint32 SocketErrorStatus(int error);

struct OpenedIcmpSocket;

// One ICMP socket that sends echo requests and waits for their answers, one at a time: an
// unprivileged datagram socket where net.ipv4.ping_group_range includes the user's group,
// otherwise a raw socket (root, or CAP_NET_RAW permitted: it is raised only to open it).
class IcmpEchoSocket final
{
public:
    enum class Kind { Datagram, Raw };

    static OpenedIcmpSocket open();

    // Sends an echo request to the IPv4 address (network byte order) and waits at most the
    // time-out for its reply or an error about it; a negative time-out waits for nothing.
    EchoOutcome echo(quint32 destination, QByteArrayView data, std::chrono::milliseconds timeout);

private:
    using Clock = std::chrono::steady_clock;

    IcmpEchoSocket(UniqueFd socket, Kind kind);

    EchoOutcome awaitAnswer(Clock::time_point sentAt, Clock::time_point deadline);
    std::optional<EchoOutcome> readPacket(QByteArray& buffer);
    std::optional<EchoOutcome> readRawPacket(QByteArrayView packet) const;
    std::optional<EchoOutcome> readDatagramPacket(QByteArrayView packet, quint32 source) const;
    std::optional<EchoOutcome> readQueuedError();
    void discardQueuedErrors();
    bool isOurs(quint16 identifier, quint16 sequence) const;

    UniqueFd m_socket;
    Kind m_kind;
    quint16 m_identifier; // a datagram socket's identifier is its local port, set by the kernel
    quint16 m_sequence;
};

struct OpenedIcmpSocket
{
    std::optional<IcmpEchoSocket> socket;
    bool notPermitted = false; // the system forbids both kinds of socket to this process
};
