#pragma once

#include "IcmpLibrary.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <type_traits>

// The reply options of an echo, as the echo call lays them out.
struct [[gnu::packed]] IpOptionInformation
{
    quint8 Ttl = 0;
    quint8 Tos = 0;
    quint8 Flags = 0;
    quint8 OptionsSize = 0;
    quint32 OptionsData = 0; // a pointer of the original 32-bit platform
};

// The record one ping fills: the echo call's 28-byte reply header, then room for 250 bytes of
// echoed data. It is handed to the echo call as its reply buffer, byte for byte.
struct [[gnu::packed]] EchoReply
{
    quint32 Address = 0; // the replying host, network byte order
    qint32 Status = 0;
    qint32 RoundTripTime = 0; // milliseconds
    quint16 DataSize = 0;
    quint16 Reserved = 0;
    quint32 DataPointer = 0; // a pointer of the original 32-bit platform
    IpOptionInformation Options;
    std::array<char, 250> Data{};
};

static_assert(sizeof(IpOptionInformation) == 8);
static_assert(sizeof(EchoReply) == 278);
static_assert(std::is_trivially_copyable_v<EchoReply> && std::is_standard_layout_v<EchoReply>);
static_assert(offsetof(EchoReply, Address) == EchoReplyLayout::AddressOffset);
static_assert(offsetof(EchoReply, Status) == EchoReplyLayout::StatusOffset);
static_assert(offsetof(EchoReply, RoundTripTime) == EchoReplyLayout::RoundTripTimeOffset);
static_assert(offsetof(EchoReply, DataSize) == EchoReplyLayout::DataSizeOffset);
static_assert(offsetof(EchoReply, Options) == 20);
static_assert(offsetof(EchoReply, Data) == EchoReplyLayout::HeaderSize);
