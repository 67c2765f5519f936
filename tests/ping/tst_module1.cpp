#include "Module1.h"
#include "RecordingPrompter.h"
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

const QString VersionMessage =
    u"El entorno de Windows Sockets para 32 bit Windows no puede trabajar con la versión Windows Sockets "_s;

} // namespace

class TstModule1 final : public QObject
{
    Q_OBJECT

private slots:
    void addressToLong_data();
    void addressToLong();
    void icmpStatusText_data();
    void icmpStatusText();
    void socketsInitialize_data();
    void socketsInitialize();
    void socketsCleanup_data();
    void socketsCleanup();
    void pingBracketsOneEchoWithTheSocketLibrary();
    void pingResult_data();
    void pingResult();
    void pingGoesAheadAfterSocketLibraryMessages();
    void pingSendsNothingToAnAddressThatDoesNotConvert();
};

void TstModule1::addressToLong_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<quint32>>("value"); // none: refused

    const auto row = [](const char* name, const QString& text, std::optional<quint32> value) {
        QTest::newRow(name) << text << value;
    };
    row("loopback", u"127.0.0.1"_s, 0x0100007Fu);
    row("all ones is -1", u"255.255.255.255"_s, 0xFFFFFFFFu);
    row("high last part is negative", u"10.0.0.200"_s, 0xC800000Au);
    row("300 contributes 0x2C", u"300.1.1.1"_s, 0x0101012Cu);
    row("256 contributes 0", u"1.2.3.256"_s, 0x00030201u);
    row("leading zero is decimal", u"010.0.0.1"_s, 0x0100000Au);
    row("negative part, two's complement", u"-1.0.0.0"_s, 0x000000FFu);
    row("lowest 32-bit part", u"1.2.3.-2147483648"_s, 0x00030201u);
    row("highest 32-bit part", u"2147483647.0.0.0"_s, 0x000000FFu);
    row("plus sign", u"+1.2.3.4"_s, 0x04030201u);
    row("three parts", u"1.2.3"_s, 0u);
    row("empty text", QString(), 0u);
    row("three parts, whatever they hold", u"x..y"_s, 0u);
    row("fifth part", u"1.2.3.4.5"_s, std::nullopt);
    row("empty part", u"1..3.4"_s, std::nullopt);
    row("empty last part", u"1.2.3."_s, std::nullopt);
    row("letters", u"1.2.x.4"_s, std::nullopt);
    row("hexadecimal", u"1.2.0x3.4"_s, std::nullopt);
    row("fraction", u"1.2.3.4,5"_s, std::nullopt);
    row("blank", u"1.2.3.4 "_s, std::nullopt);
    row("sign alone", u"1.2.3.-"_s, std::nullopt);
    row("above 32 bits", u"1.2.3.2147483648"_s, std::nullopt);
    row("non-ASCII digit", u"1.2.3.\u0664"_s, std::nullopt);
}

void TstModule1::addressToLong()
{
    QFETCH(QString, text);
    QFETCH(std::optional<quint32>, value);

    const std::optional<qint32> converted = AddressToLong(text);
    QCOMPARE(converted.has_value(), value.has_value());
    if (value)
        QCOMPARE(quint32(*converted), *value);
}

void TstModule1::icmpStatusText_data()
{
    QTest::addColumn<qint32>("status");
    QTest::addColumn<QString>("text");

    const QList<std::pair<qint32, QString>> table{
        {0, u"Success"_s},
        {200, u"Ping Timeout"_s},
        {11001, u"Buffer Too Small"_s},
        {11002, u"Destination Network Unreachable"_s},
        {11003, u"Destination Host Unreachable"_s},
        {11004, u"Destination Protocol Unreachable"_s},
        {11005, u"Destination Port Unreachable"_s},
        {11006, u"No Resources"_s},
        {11007, u"Bad Option"_s},
        {11008, u"HW_ERROR"_s},
        {11009, u"Packet Too Big"_s},
        {11010, u"Request Timed Out"_s},
        {11011, u"Bad Request"_s},
        {11012, u"Bad Route"_s},
        {11013, u"TTL Expired Transit"_s},
        {11014, u"TTL Expired Reassem"_s},
        {11015, u"Parameter Problem"_s},
        {11016, u"Source Quench"_s},
        {11017, u"Option Too Big"_s},
        {11018, u"Bad Destination"_s},
        {11019, u"Address Deleted"_s},
        {11020, u"Spec MTU Change"_s},
        {11021, u"MTU Change"_s},
        {11022, u"Unload"_s},
        {11023, u"Address Added"_s},
        {11050, u"General Failure"_s},
        {11255, u"Pending"_s},
    };
    for (const auto& [status, text] : table)
        QTest::addRow("%d", status) << status << text;
    for (const qint32 unknown : {-1, 1, 199, 201, 11000, 11024, 11049, 11051, 11254, 11256,
                                 std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()})
        QTest::addRow("unknown %d", unknown) << unknown << u"Unknown Error"_s;
}

void TstModule1::icmpStatusText()
{
    QFETCH(qint32, status);
    QFETCH(QString, text);

    QCOMPARE(IcmpStatusText(status), text);
}

void TstModule1::socketsInitialize_data()
{
    QTest::addColumn<qint32>("status");
    QTest::addColumn<quint16>("version");
    QTest::addColumn<quint16>("maxSockets");
    QTest::addColumn<bool>("started");
    QTest::addColumn<Messages>("messages");

    const Messages none;
    QTest::newRow("1.1, 32767 sockets") << 0 << quint16(0x0101) << quint16(32767) << true << none;
    QTest::newRow("2.0") << 0 << quint16(0x0002) << quint16(1) << true << none;
    QTest::newRow("255.0, the low byte unsigned") << 0 << quint16(0x00FF) << quint16(1) << true << none;
    QTest::newRow("65535 sockets") << 0 << quint16(0x0101) << quint16(65535) << true << none;
    QTest::newRow("1.0") << 0 << quint16(0x0001) << quint16(32767) << false
                         << Messages{Tolve(VersionMessage + u"1.0"_s, MessageStyle::Exclamation)};
    QTest::newRow("0.9") << 0 << quint16(0x0900) << quint16(32767) << false
                         << Messages{Tolve(VersionMessage + u"0.9"_s, MessageStyle::Exclamation)};
    QTest::newRow("0.255, the high byte unsigned")
        << 0 << quint16(0xFF00) << quint16(32767) << false
        << Messages{Tolve(VersionMessage + u"0.255"_s, MessageStyle::Exclamation)};
    QTest::newRow("no socket") << 0 << quint16(0x0101) << quint16(0) << false
                               << Messages{Tolve(u"Esta aplicación requiere como minimo de 1 sockets."_s,
                                                 MessageStyle::Exclamation)};
    QTest::newRow("start fails, nothing else checked")
        << 10091 << quint16(0) << quint16(0) << false
        << Messages{Tolve(u"El entorno de Windows Sockets para 32 bit Windows no responde."_s, MessageStyle::Plain)};
}

void TstModule1::socketsInitialize()
{
    QFETCH(qint32, status);
    QFETCH(quint16, version);
    QFETCH(quint16, maxSockets);
    QFETCH(bool, started);
    QFETCH(Messages, messages);

    ScriptedPlatform system;
    system.sockets.start = {status, version, maxSockets};

    QCOMPARE(SocketsInitialize(system.sockets, system.prompter), started);
    QCOMPARE(system.calls, QStringList{u"WSAStartup 0101"_s});
    QCOMPARE(system.prompter.messages, messages);
}

void TstModule1::socketsCleanup_data()
{
    QTest::addColumn<qint32>("result");
    QTest::addColumn<bool>("shutDown");
    QTest::addColumn<Messages>("messages");

    QTest::newRow("shut down") << 0 << true << Messages{};
    QTest::newRow("general failure -1")
        << -1 << false
        << Messages{Tolve(u"Se ha producido el error -1 al cerrar el Windows Sockets."_s, MessageStyle::Exclamation)};
    QTest::newRow("not started") << 10093 << false
                                 << Messages{Tolve(u"Se ha producido el error 10093 al cerrar el Windows Sockets."_s,
                                                   MessageStyle::Exclamation)};
}

void TstModule1::socketsCleanup()
{
    QFETCH(qint32, result);
    QFETCH(bool, shutDown);
    QFETCH(Messages, messages);

    ScriptedPlatform system;
    system.sockets.cleanupResult = result;

    QCOMPARE(SocketsCleanup(system.sockets, system.prompter), shutDown);
    QCOMPARE(system.prompter.messages, messages);
}

void TstModule1::pingBracketsOneEchoWithTheSocketLibrary()
{
    ScriptedPlatform system;
    EchoReply reply{};

    QCOMPARE(Ping(system.platform(), u"192.168.0.1"_s, u"abc\u00e9"_s, 500, reply), 31);

    const QStringList expectedCalls{u"WSAStartup 0101"_s, u"IcmpCreateFile"_s, u"IcmpSendEcho"_s,
                                    u"IcmpCloseHandle 7"_s, u"WSACleanup"_s};
    QCOMPARE(system.calls, expectedCalls);
    QCOMPARE(system.icmp.echoes.size(), 1);
    const ScriptedIcmpLibrary::Echo& echo = system.icmp.echoes.constFirst();
    QCOMPARE(echo.handle, ScriptedIcmpLibrary::Handle);
    QCOMPARE(quint32(echo.destination), 0x0100A8C0u);
    QCOMPARE(echo.data, QByteArray("abc\xe9"));
    QCOMPARE(echo.bufferSize, std::size_t(278));
    QCOMPARE(echo.timeoutMs, 500);
    QCOMPARE(system.prompter.messages, Messages{});
}

void TstModule1::pingResult_data()
{
    QTest::addColumn<quint32>("replies");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<std::optional<qint32>>("roundTripTime");
    QTest::addColumn<qint16>("timeout");
    QTest::addColumn<qint32>("result");
    QTest::addColumn<qint32>("recordedRoundTripTime");

    // The record enters every ping with a round-trip time of 99, to show what the echo left.
    QTest::newRow("answered after 31 ms") << 1u << 0 << std::optional<qint32>(31) << qint16(500) << 31 << 31;
    QTest::newRow("answered within the millisecond") << 1u << 0 << std::optional<qint32>(0) << qint16(500) << 0 << 0;
    QTest::newRow("timed out") << 0u << 11010 << std::optional<qint32>() << qint16(500) << -11010 << 99;
    QTest::newRow("unreachable, time written") << 0u << 11003 << std::optional<qint32>(4) << qint16(500) << -11003 << 4;
    QTest::newRow("negative time-out passed on")
        << 0u << 11010 << std::optional<qint32>() << qint16(-1) << -11010 << 99;
    QTest::newRow("lowest status negates to itself")
        << 0u << std::numeric_limits<qint32>::min() << std::optional<qint32>() << qint16(500)
        << std::numeric_limits<qint32>::min() << 99;
}

void TstModule1::pingResult()
{
    QFETCH(quint32, replies);
    QFETCH(qint32, status);
    QFETCH(std::optional<qint32>, roundTripTime);
    QFETCH(qint16, timeout);
    QFETCH(qint32, result);
    QFETCH(qint32, recordedRoundTripTime);

    ScriptedPlatform system;
    system.icmp.replies = replies;
    system.icmp.status = status;
    system.icmp.roundTripTime = roundTripTime;
    EchoReply reply{};
    reply.RoundTripTime = 99;

    QCOMPARE(Ping(system.platform(), u"127.0.0.1"_s, QString(), timeout, reply), result);
    QCOMPARE(reply.Status, status);
    QCOMPARE(reply.RoundTripTime, recordedRoundTripTime);
    QCOMPARE(system.icmp.echoes.constFirst().timeoutMs, qint32(timeout));
}

void TstModule1::pingGoesAheadAfterSocketLibraryMessages()
{
    ScriptedPlatform system;
    system.sockets.start.status = 10091;
    system.sockets.cleanupResult = -1;
    EchoReply reply{};

    QCOMPARE(Ping(system.platform(), u"127.0.0.1"_s, QString(), 500, reply), 31);

    QCOMPARE(system.icmp.echoes.size(), 1);
    QCOMPARE(system.calls.constLast(), u"WSACleanup"_s);
    const Messages expected{
        Tolve(u"El entorno de Windows Sockets para 32 bit Windows no responde."_s, MessageStyle::Plain),
        Tolve(u"Se ha producido el error -1 al cerrar el Windows Sockets."_s, MessageStyle::Exclamation),
    };
    QCOMPARE(system.prompter.messages, expected);
}

void TstModule1::pingSendsNothingToAnAddressThatDoesNotConvert()
{
    ScriptedPlatform system;
    EchoReply reply{};

    QCOMPARE(Ping(system.platform(), u"1.2.3.4.5"_s, QString(), 500, reply), -11018);

    QCOMPARE(reply.Status, 11018);
    QCOMPARE(system.icmp.echoes.size(), 0);
    const QStringList expectedCalls{u"WSAStartup 0101"_s, u"IcmpCreateFile"_s, u"IcmpCloseHandle 7"_s, u"WSACleanup"_s};
    QCOMPARE(system.calls, expectedCalls);
}

QTEST_GUILESS_MAIN(TstModule1)
#include "tst_module1.moc"
