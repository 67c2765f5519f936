#include "PingCommand.h"
#include "ScriptedPlatform.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

using Messages = QList<RecordingPrompter::Message>;

namespace {

RecordingPrompter::Message Tolve(const QString& text, MessageStyle style)
{
    return {text, style, u"tolve"_s};
}

const QString NotResponding = u"El entorno de Windows Sockets para 32 bit Windows no responde."_s;

} // namespace

// The ping routines and the ping command over a scripted system that sends nothing.
class TstPing final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressToLong_data();
    void addressToLong();
    void statusTexts();
    void socketLibraryMessages_data();
    void socketLibraryMessages();
    void pingBracketsOneEchoWithTheSocketLibrary();
    void pingResult_data();
    void pingResult();
    void verdict_data();
    void verdict();
};

void TstPing::addressToLong_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<quint32>>("value"); // none: refused
    QTest::addColumn<bool>("pinged"); // as the address shown, so sent to
    QTest::newRow("loopback") << u"127.0.0.1"_s << std::optional(0x0100007Fu) << true;
    QTest::newRow("high last part is negative") << u"10.0.0.200"_s << std::optional(0xC800000Au) << true;
    QTest::newRow("leading zero is decimal") << u"010.0.0.1"_s << std::optional(0x0100000Au) << true;
    QTest::newRow("300 contributes 0x2C") << u"300.1.1.1"_s << std::optional(0x0101012Cu) << false;
    QTest::newRow("negative part") << u"-1.0.0.0"_s << std::optional(0x000000FFu) << false;
    QTest::newRow("plus sign") << u"+1.2.3.4"_s << std::optional(0x04030201u) << false;
    QTest::newRow("three parts") << u"1.2.3"_s << std::optional(0u) << false;
    QTest::newRow("fifth part") << u"1.2.3.4.5"_s << std::optional<quint32>() << false;
    QTest::newRow("empty part") << u"1..3.4"_s << std::optional<quint32>() << false;
    QTest::newRow("blank") << u"1.2.3.4 "_s << std::optional<quint32>() << false;
    QTest::newRow("above 32 bits") << u"1.2.3.2147483648"_s << std::optional<quint32>() << false;
    QTest::newRow("non-ASCII digit") << u"1.2.3.\u0664"_s << std::optional<quint32>() << false;
}

void TstPing::addressToLong()
{
    QFETCH(QString, text);
    QFETCH(std::optional<quint32>, value);
    QFETCH(bool, pinged);
    const std::optional<qint32> converted = AddressToLong(text);
    QCOMPARE(converted.has_value(), value.has_value());
    if (value)
        QCOMPARE(quint32(*converted), *value);
    QCOMPARE(IsDottedQuad(text), pinged);
}

// The texts the user reads; a code the table does not know is an unknown error.
void TstPing::statusTexts()
{
    const QString table = u"0 Success|200 Ping Timeout|11001 Buffer Too Small|11002 Destination Network Unreachable|"
                          u"11003 Destination Host Unreachable|11004 Destination Protocol Unreachable|"
                          u"11005 Destination Port Unreachable|11006 No Resources|11007 Bad Option|11008 HW_ERROR|"
                          u"11009 Packet Too Big|11010 Request Timed Out|11011 Bad Request|11012 Bad Route|"
                          u"11013 TTL Expired Transit|11014 TTL Expired Reassem|11015 Parameter Problem|"
                          u"11016 Source Quench|11017 Option Too Big|11018 Bad Destination|11019 Address Deleted|"
                          u"11020 Spec MTU Change|11021 MTU Change|11022 Unload|11023 Address Added|"
                          u"11050 General Failure|11255 Pending|1 Unknown Error|11024 Unknown Error|"
                          u"-1 Unknown Error"_s;
    for (const QString& entry : table.split(u'|')) {
        const qsizetype blank = entry.indexOf(u' ');
        QCOMPARE(IcmpStatusText(entry.left(blank).toInt()), entry.mid(blank + 1));
    }
    QCOMPARE(IcmpStatusText(std::numeric_limits<qint32>::min()), u"Unknown Error"_s);
}

void TstPing::socketLibraryMessages_data()
{
    QTest::addColumn<SocketLibraryStart>("start");
    QTest::addColumn<qint32>("cleanup");
    QTest::addColumn<Messages>("messages");
    const QString version =
        u"El entorno de Windows Sockets para 32 bit Windows no puede trabajar con la versión Windows Sockets "_s;
    const auto exclamation = [](const QString& text) { return Tolve(text, MessageStyle::Exclamation); };
    QTest::newRow("1.1, 32767 sockets") << SocketLibraryStart{0, 0x0101, 32767} << 0 << Messages{};
    QTest::newRow("2.0, one socket") << SocketLibraryStart{0, 0x0002, 1} << 0 << Messages{};
    QTest::newRow("1.0") << SocketLibraryStart{0, 0x0001, 1} << 0 << Messages{exclamation(version + u"1.0"_s)};
    QTest::newRow("0.255, the high byte unsigned")
        << SocketLibraryStart{0, 0xFF00, 1} << 0 << Messages{exclamation(version + u"0.255"_s)};
    QTest::newRow("no socket") << SocketLibraryStart{0, 0x0101, 0} << 0
                               << Messages{exclamation(u"Esta aplicación requiere como minimo de 1 sockets."_s)};
    QTest::newRow("start fails, nothing else checked")
        << SocketLibraryStart{10091, 0, 0} << 0 << Messages{Tolve(NotResponding, MessageStyle::Plain)};
    QTest::newRow("shutdown fails") << SocketLibraryStart{
        0, 0x0101, 1} << -1 << Messages{exclamation(u"Se ha producido el error -1 al cerrar el Windows Sockets."_s)};
}

// The messages come up during the ping, and the echo is tried whatever they said.
void TstPing::socketLibraryMessages()
{
    QFETCH(SocketLibraryStart, start);
    QFETCH(qint32, cleanup);
    QFETCH(Messages, messages);
    ScriptedPlatform system;
    system.sockets.start = start;
    system.sockets.cleanupResult = cleanup;
    EchoReply reply{};
    QCOMPARE(Ping(system.platform(), u"127.0.0.1"_s, QString(), 500, reply), 31);
    QCOMPARE(system.prompter.messages, messages);
    QCOMPARE(system.icmp.echoes.size(), 1);
}

void TstPing::pingBracketsOneEchoWithTheSocketLibrary()
{
    ScriptedPlatform system;
    EchoReply reply{};
    QCOMPARE(Ping(system.platform(), u"192.168.0.1"_s, u"abc\u00e9"_s, 500, reply), 31);
    QCOMPARE(system.calls,
             (QStringList{u"WSAStartup 0101"_s, u"IcmpCreateFile"_s, u"IcmpSendEcho"_s, u"IcmpCloseHandle 7"_s,
                          u"WSACleanup"_s}));
    const ScriptedIcmpLibrary::Echo& echo = system.icmp.echoes.constFirst();
    QCOMPARE(echo.handle, ScriptedIcmpLibrary::Handle);
    QCOMPARE(quint32(echo.destination), 0x0100A8C0u);
    QCOMPARE(echo.data, QByteArray("abc\xe9"));
    QCOMPARE(echo.bufferSize, std::size_t(278));
    QCOMPARE(echo.timeoutMs, 500);
}

void TstPing::pingResult_data()
{
    QTest::addColumn<quint32>("replies");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<std::optional<qint32>>("roundTripTime"); // none: the echo writes none
    QTest::addColumn<qint32>("result");
    QTest::addColumn<qint32>("recordedRoundTripTime");
    // The record enters every ping with a round-trip time of 99, to show what the echo left.
    QTest::newRow("answered after 31 ms") << 1u << 0 << std::optional<qint32>(31) << 31 << 31;
    QTest::newRow("timed out") << 0u << 11010 << std::optional<qint32>() << -11010 << 99;
    QTest::newRow("unreachable, time written") << 0u << 11003 << std::optional<qint32>(4) << -11003 << 4;
    QTest::newRow("lowest status negates to itself")
        << 0u << std::numeric_limits<qint32>::min() << std::optional<qint32>() << std::numeric_limits<qint32>::min()
        << 99;
}

void TstPing::pingResult()
{
    QFETCH(quint32, replies);
    QFETCH(qint32, status);
    QFETCH(std::optional<qint32>, roundTripTime);
    QFETCH(qint32, result);
    QFETCH(qint32, recordedRoundTripTime);
    ScriptedPlatform system;
    system.icmp.replies = replies;
    system.icmp.status = status;
    system.icmp.roundTripTime = roundTripTime;
    EchoReply reply{};
    reply.RoundTripTime = 99;
    QCOMPARE(Ping(system.platform(), u"127.0.0.1"_s, QString(), 500, reply), result);
    QCOMPARE(reply.Status, status);
    QCOMPARE(reply.RoundTripTime, recordedRoundTripTime);
}

void TstPing::verdict_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint32>("status"); // what the echo leaves, with a delay of 120 ms for a reply
    QTest::addColumn<RecordingPrompter::Message>("verdict");
    const auto dead = [](const QString& lines) {
        return RecordingPrompter::Message{lines, MessageStyle::Stop, u"IP Is Dead"_s};
    };
    QTest::newRow("alive") << u"192.0.2.10"_s << 0
                           << RecordingPrompter::Message{
                                  u"The IP 192.0.2.10 Is Alive.\r\nDelay: 120 ms.\r\nStatus: Success"_s,
                                  MessageStyle::Information, u"IP Is Alive"_s};
    QTest::newRow("timed out") << u"192.0.2.10"_s << 11010
                               << dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Request Timed Out"_s);
    QTest::newRow("unknown status") << u"192.0.2.10"_s << 4711
                                    << dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Unknown Error"_s);
    QTest::newRow("shown as typed, not pinged")
        << u"1.2.3"_s << 0 << dead(u"The IP 1.2.3 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Bad Destination"_s);
}

// Each ping starts from a record of zeros, so nothing of an earlier one shows.
void TstPing::verdict()
{
    QFETCH(QString, address);
    QFETCH(qint32, status);
    QFETCH(RecordingPrompter::Message, verdict);
    ScriptedPlatform system;
    PingCommand command({system.icmp, system.sockets, system.prompter});
    command.ping(u"192.0.2.1"_s);
    system.icmp.replies = status == 0 ? 1 : 0;
    system.icmp.status = status;
    system.icmp.roundTripTime = status == 0 ? std::optional<qint32>(120) : std::nullopt;
    const PingVerdict told = command.ping(address);
    QCOMPARE((RecordingPrompter::Message{told.message, told.style, told.title}), verdict);
    QCOMPARE(told.alive, status == 0 && IsDottedQuad(address));
    QCOMPARE(system.icmp.echoes.size(), IsDottedQuad(address) ? 2 : 1);
}

QTEST_GUILESS_MAIN(TstPing)
#include "tst_ping.moc"
