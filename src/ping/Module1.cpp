#include "Module1.h"

#include "IcmpLibrary.h"
#include "MessagePrompter.h"
#include "SocketLibrary.h"

#include <QList>

#include <algorithm>
#include <array>
#include <span>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 RequestedVersion = 0x0101; // 1.1: major number in the low byte
constexpr int MinSockets = 1;
constexpr qsizetype LargestRequest = 32767; // the request size is a signed 16-bit count
constexpr qint32 LargestAddressPart = 255;

struct StatusText
{
    qint32 status;
    QStringView text;
};

constexpr std::array StatusTexts{
    StatusText{0, u"Success"},
    StatusText{200, u"Ping Timeout"},
    StatusText{11001, u"Buffer Too Small"},
    StatusText{11002, u"Destination Network Unreachable"},
    StatusText{11003, u"Destination Host Unreachable"},
    StatusText{11004, u"Destination Protocol Unreachable"},
    StatusText{11005, u"Destination Port Unreachable"},
    StatusText{11006, u"No Resources"},
    StatusText{11007, u"Bad Option"},
    StatusText{11008, u"HW_ERROR"},
    StatusText{11009, u"Packet Too Big"},
    StatusText{11010, u"Request Timed Out"},
    StatusText{11011, u"Bad Request"},
    StatusText{11012, u"Bad Route"},
    StatusText{11013, u"TTL Expired Transit"},
    StatusText{11014, u"TTL Expired Reassem"},
    StatusText{11015, u"Parameter Problem"},
    StatusText{11016, u"Source Quench"},
    StatusText{11017, u"Option Too Big"},
    StatusText{11018, u"Bad Destination"},
    StatusText{11019, u"Address Deleted"},
    StatusText{11020, u"Spec MTU Change"},
    StatusText{11021, u"MTU Change"},
    StatusText{11022, u"Unload"},
    StatusText{11023, u"Address Added"},
    StatusText{11050, u"General Failure"},
    StatusText{11255, u"Pending"},
};

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// An optional sign, then decimal digits: 010 is ten.
std::optional<qint32> WholeNumber(QStringView text)
{
    const QStringView digits = text.startsWith(u'-') || text.startsWith(u'+') ? text.sliced(1) : text;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), IsAsciiDigit))
        return std::nullopt;
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

void ShowSocketsMessage(MessagePrompter& prompter, const QString& text, MessageStyle style)
{
    prompter.showMessage(text, style, MessagePrompter::defaultTitle());
}

} // namespace

qint32 Ping(const PingPlatform& platform, const QString& address, const QString& data, qint16 timeout, EchoReply& reply)
{
    SocketsInitialize(platform.sockets, platform.prompter); // the echo is tried whatever the library said
    const IcmpHandle handle = platform.icmp.IcmpCreateFile();
    quint32 replies = 0;
    if (IsDottedQuad(address)) {
        const QByteArray request = data.left(LargestRequest).toLatin1();
        replies = platform.icmp.IcmpSendEcho(handle, *AddressToLong(address), request,
                                             std::as_writable_bytes(std::span(&reply, 1)), timeout);
    } else {
        reply.Status = IpStatus::BadDestination;
    }
    // Negated in 64 bits: a status of the lowest 32-bit value would overflow.
    const qint32 result = replies != 0 ? reply.RoundTripTime : qint32(-qint64(reply.Status));
    platform.icmp.IcmpCloseHandle(handle);
    SocketsCleanup(platform.sockets, platform.prompter);
    return result;
}

bool IsDottedQuad(const QString& text)
{
    const QList<QStringView> parts = QStringView(text).split(u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](QStringView part) {
               const std::optional<qint32> number = WholeNumber(part);
               return number && IsAsciiDigit(part.front()) && *number <= LargestAddressPart;
           });
}

std::optional<qint32> AddressToLong(const QString& text)
{
    const QList<QStringView> parts = QStringView(text).split(u'.');
    if (parts.size() < 4)
        return 0;
    if (parts.size() > 4)
        return std::nullopt;
    quint32 value = 0;
    int shift = 0;
    for (const QStringView part : parts) {
        const std::optional<qint32> number = WholeNumber(part);
        if (!number)
            return std::nullopt;
        value |= (quint32(*number) & 0xff) << shift;
        shift += 8;
    }
    return qint32(value);
}

QString IcmpStatusText(qint32 status)
{
    const auto* known = std::find_if(StatusTexts.begin(), StatusTexts.end(),
                                     [status](const StatusText& entry) { return entry.status == status; });
    if (known == StatusTexts.end())
        return u"Unknown Error"_s;
    return known->text.toString();
}

bool SocketsInitialize(SocketLibrary& sockets, MessagePrompter& prompter)
{
    const SocketLibraryStart start = sockets.WSAStartup(RequestedVersion);
    if (start.status != 0) {
        ShowSocketsMessage(prompter, u"El entorno de Windows Sockets para 32 bit Windows no responde."_s,
                           MessageStyle::Plain);
        return false;
    }
    const int major = LowByte(start.version);
    const int minor = HighByte(start.version);
    if (major < 1 || (major == 1 && minor < 1)) {
        ShowSocketsMessage(prompter,
                           u"El entorno de Windows Sockets para 32 bit Windows no puede trabajar con la versión "
                           u"Windows Sockets "_s
                               + QString::number(major) + u'.' + QString::number(minor),
                           MessageStyle::Exclamation);
        return false;
    }
    if (start.maxSockets >= MinSockets)
        return true;
    ShowSocketsMessage(prompter,
                       u"Esta aplicación requiere como minimo de "_s + QString::number(MinSockets) + u" sockets."_s,
                       MessageStyle::Exclamation);
    return false;
}

bool SocketsCleanup(SocketLibrary& sockets, MessagePrompter& prompter)
{
    const qint32 result = sockets.WSACleanup();
    if (result == 0)
        return true;
    ShowSocketsMessage(prompter,
                       u"Se ha producido el error "_s + QString::number(result) + u" al cerrar el Windows Sockets."_s,
                       MessageStyle::Exclamation);
    return false;
}

int LowByte(quint16 value)
{
    return value & 0xff;
}

int HighByte(quint16 value)
{
    return value >> 8;
}
