#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cstddef>
#include <span>

// The IP status codes an echo ends with, as the ICMP library of the original platform
// publishes them; 0 means an echo reply came back.
namespace IpStatus {
inline constexpr qint32 Success = 0;
inline constexpr qint32 DestinationNetUnreachable = 11002;
inline constexpr qint32 DestinationHostUnreachable = 11003;
inline constexpr qint32 DestinationProtocolUnreachable = 11004;
inline constexpr qint32 DestinationPortUnreachable = 11005;
inline constexpr qint32 NoResources = 11006;
inline constexpr qint32 PacketTooBig = 11009;
inline constexpr qint32 RequestTimedOut = 11010;
inline constexpr qint32 BadRoute = 11012;
inline constexpr qint32 TtlExpiredTransit = 11013;
inline constexpr qint32 TtlExpiredReassembly = 11014;
inline constexpr qint32 ParameterProblem = 11015;
inline constexpr qint32 SourceQuench = 11016;
inline constexpr qint32 BadDestination = 11018;
inline constexpr qint32 GeneralFailure = 11050;
} // namespace IpStatus

// Where the echo call writes into the reply buffer: the original platform's echo-reply header
// (28 bytes, little-endian), then the data area that takes the echoed data.
namespace EchoReplyLayout {
inline constexpr std::size_t AddressOffset = 0; // the replying host, network byte order
inline constexpr std::size_t StatusOffset = 4;
inline constexpr std::size_t RoundTripTimeOffset = 8; // milliseconds
inline constexpr std::size_t DataSizeOffset = 12; // 16 bits: echoed bytes in the data area
inline constexpr std::size_t HeaderSize = 28;
} // namespace EchoReplyLayout

enum class IcmpHandle : qintptr { Invalid = -1 };

// Sends ICMP echo requests, one at a time, through a handle made for them.
class IcmpLibrary
{
public:
    virtual ~IcmpLibrary() = default;

    // A handle for the echo calls; an unusable one (Invalid) makes every echo through it fail.
    virtual IcmpHandle IcmpCreateFile() = 0;

    // Sends one echo request carrying the data to the destination, an IPv4 address whose bytes
    // in little-endian order are the address's parts in network order, with the system's
    // default time to live and no IP options, and waits at most timeoutMs for the answer.
    // Returns the number of echo replies, 1 or 0. The reply buffer's header then holds Status
    // (0 for a reply, the failure's code otherwise) and, for a reply, its round-trip time,
    // responder and echoed data; fields that do not apply are left as they were. A buffer
    // shorter than the header is left alone and counts as a failure.
    virtual quint32 IcmpSendEcho(IcmpHandle handle, qint32 destination, QByteArrayView requestData,
                                 std::span<std::byte> replyBuffer, qint32 timeoutMs) = 0;

    virtual void IcmpCloseHandle(IcmpHandle handle) = 0;
};
