// A proxy's address text through AddressToLong and through the ping command's address check,
// with an ICMP library that only records what it is asked to send.
//
// Checked for AddressToLong: fewer than four dotted parts give 0 and more give nothing; four
// parts convert when each is a signed whole number in 32 bits, to their lowest eight bits each,
// part 1 in the lowest byte (the order Qt's own IPv4 parser confirms). Checked for the ping
// command: an echo goes out exactly when the text is four decimal parts from 0 to 255, to the
// address AddressToLong gives; any other text is told as dead with "Bad Destination" and never
// sent; the verdict names the address as it was given.

#include "FuzzCheck.h"
#include "IcmpLibrary.h"
#include "Module1.h"
#include "PingCommand.h"
#include "RecordingPrompter.h"
#include "SocketLibrary.h"

#include <QHostAddress>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr qint32 RoundTripMs = 7;

// Answers every echo with a reply and keeps the destinations it was given.
class RecordingIcmp final : public IcmpLibrary
{
public:
    IcmpHandle IcmpCreateFile() override { return IcmpHandle{1}; }
    quint32 IcmpSendEcho(IcmpHandle, qint32 destination, QByteArrayView, std::span<std::byte> replyBuffer,
                         qint32) override
    {
        destinations.append(destination);
        const qint32 status = IpStatus::Success;
        std::memcpy(replyBuffer.data() + EchoReplyLayout::StatusOffset, &status, sizeof status);
        std::memcpy(replyBuffer.data() + EchoReplyLayout::RoundTripTimeOffset, &RoundTripMs, sizeof RoundTripMs);
        return 1;
    }
    void IcmpCloseHandle(IcmpHandle) override {}

    QList<qint32> destinations;
};

class WorkingSockets final : public SocketLibrary
{
public:
    SocketLibraryStart WSAStartup(quint16) override { return {0, 0x0101, 1}; }
    qint32 WSACleanup() override { return 0; }
};

// A signed whole number of ASCII digits within 32 bits.
std::optional<qint64> SignedNumber(QStringView part)
{
    const QStringView digits = part.startsWith(u'+') || part.startsWith(u'-') ? part.sliced(1) : part;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool converted = false;
    const qint64 value = part.toLongLong(&converted);
    if (!converted || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return value;
}

bool IsOctet(QStringView part)
{
    const std::optional<qint64> value = SignedNumber(part);
    return value && !part.startsWith(u'+') && !part.startsWith(u'-') && *value <= 255;
}

void CheckAddressToLong(const QString& text, const QList<QStringView>& parts)
{
    const std::optional<qint32> converted = AddressToLong(text);
    if (parts.size() != 4) {
        FUZZ_CHECK(parts.size() < 4 ? converted == 0 : !converted);
        return;
    }
    const bool allNumbers =
        std::all_of(parts.begin(), parts.end(), [](QStringView part) { return SignedNumber(part); });
    FUZZ_CHECK(converted.has_value() == allNumbers);
    if (!converted)
        return;
    const auto value = static_cast<quint32>(*converted);
    for (int part = 0; part < 4; ++part)
        FUZZ_CHECK(((value >> (8 * part)) & 0xff) == (static_cast<quint64>(*SignedNumber(parts[part])) & 0xff));
    const QString normalised =
        u"%1.%2.%3.%4"_s.arg(value & 0xff).arg((value >> 8) & 0xff).arg((value >> 16) & 0xff).arg(value >> 24);
    FUZZ_CHECK(AddressToLong(normalised) == converted);
    FUZZ_CHECK(qbswap(QHostAddress(normalised).toIPv4Address()) == value);
}

void CheckPingCommand(const QString& text, const QList<QStringView>& parts)
{
    RecordingPrompter prompter;
    RecordingIcmp icmp;
    WorkingSockets sockets;
    const PingVerdict verdict = PingCommand({icmp, sockets, prompter}).ping(text);

    const bool dottedQuad = parts.size() == 4 && std::all_of(parts.begin(), parts.end(), IsOctet);
    FUZZ_CHECK(icmp.destinations.size() == (dottedQuad ? 1 : 0));
    if (dottedQuad)
        FUZZ_CHECK(icmp.destinations.first() == AddressToLong(text));
    FUZZ_CHECK(prompter.messages.isEmpty());
    FUZZ_CHECK(verdict.alive == dottedQuad);
    FUZZ_CHECK(verdict.message.startsWith(u"The IP "_s + text + (dottedQuad ? u" Is Alive."_s : u" Is Dead."_s)));
    FUZZ_CHECK(verdict.title == (dottedQuad ? u"IP Is Alive"_s : u"IP Is Dead"_s));
    if (!dottedQuad)
        FUZZ_CHECK(verdict.message.endsWith(u"Status: Bad Destination"_s));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(QByteArrayView(data, static_cast<qsizetype>(size)));
    const QList<QStringView> parts = QStringView(text).split(u'.');
    CheckAddressToLong(text, parts);
    CheckPingCommand(text, parts);
    return 0;
}
