#pragma once

#include "EchoReply.h"

#include <QString>

#include <optional>

class IcmpLibrary;
class MessagePrompter;
class SocketLibrary;

// What a ping needs of the system: the echo calls, the socket library around them, and the
// message box the socket library's complaints go to.
struct PingPlatform
{
    IcmpLibrary& icmp;
    SocketLibrary& sockets;
    MessagePrompter& prompter;
};

// Sends one ICMP echo carrying the data to the dotted IPv4 address and waits at most the
// time-out for the answer; the reply record then holds what the echo call left in it.
// Returns the round-trip time when a reply came, the negated status otherwise. Only a dotted
// address of four parts from 0 to 255 is sent to; any other is a bad destination, since it
// would be pinged as another host than the one named (300.1.1.1 as 44.1.1.1, 1.2.3 as 0.0.0.0).
qint32 Ping(const PingPlatform& platform, const QString& address, const QString& data, qint16 timeout,
            EchoReply& reply);

// The address value of a dotted text: part 1 in the lowest byte, part 4 in the highest, each
// part contributing the lowest eight bits of its value (300 gives 0x2C). 0 for a text of
// fewer than four parts; nothing for one that cannot be converted: a fifth part, or an empty
// part or one that is no whole number in the signed 32-bit range.
std::optional<qint32> AddressToLong(const QString& text);

// Four parts of decimal digits, each from 0 to 255.
bool IsDottedQuad(const QString& text);

// The English text of an echo's status code; "Unknown Error" for a code it does not know.
QString IcmpStatusText(qint32 status);

// Starts the socket library, asking for version 1.1; tells the user and returns false when the
// library does not start, grants less than 1.1 or offers no socket.
bool SocketsInitialize(SocketLibrary& sockets, MessagePrompter& prompter);
// Shuts the socket library down; tells the user and returns false when that fails.
bool SocketsCleanup(SocketLibrary& sockets, MessagePrompter& prompter);

int LowByte(quint16 value);
int HighByte(quint16 value);
