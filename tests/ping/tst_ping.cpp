#include "Files.h"
#include "LinuxIcmpLibrary.h"
#include "NetworkNamespace.h"
#include "PingCommand.h"
#include "RawSocketPrivilege.h"
#include "RecordingPrompter.h"
#include "ScriptedPlatform.h"

#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Address values as the echo call takes them: the address's parts in little-endian byte order.
constexpr qint32 Loopback = 0x0100007F; // 127.0.0.1
constexpr qint32 RejectingHost = 0x0200007F; // 127.0.0.2, refused by the row's nft rule
constexpr qint32 SilentHost = 0x0200630A; // 10.99.0.2, routed to loopback where nobody answers
constexpr qint32 UnroutedHost = 0x0100620A; // 10.98.0.1, no route at all
constexpr qint32 UnreachableHost = 0x0100610A; // 10.97.0.1, an "unreachable" route
constexpr qint32 Untouched = -1; // a field of the 0xFF-filled record that the echo must not write
constexpr qint32 TimeoutMs = 500;

QByteArray EffectiveCapabilities()
{
    const QByteArray text = ReadFile(u"/proc/self/status"_s);
    return text.mid(text.indexOf("CapEff:\t") + 8, 16);
}

} // namespace

// The ping command's verdicts over a scripted system, and real echoes through the Linux library.
class TstPing final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void verdict_data();
    void verdict();
    void statusTexts();
    void socketLibraryComplaintsComeBeforeTheVerdict_data();
    void socketLibraryComplaintsComeBeforeTheVerdict();
    void echo_data();
    void echo();
};

void TstPing::verdict_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint32>("status"); // what the echo ends with
    QTest::addColumn<QString>("sentTo"); // empty: no echo may go out
    QTest::addColumn<QString>("statusText");
    QTest::newRow("alive") << u"192.0.2.10"_s << 0 << u"192.0.2.10"_s << u"Success"_s;
    QTest::newRow("timed out") << u"192.0.2.10"_s << 11010 << u"192.0.2.10"_s << u"Request Timed Out"_s;
    // It would reach another host than the one named; the address check in full is fuzz_pingaddress's work.
    QTest::newRow("refused") << u"300.1.1.1"_s << 0 << QString() << u"Bad Destination"_s;
}

// The verdict is shown the way the window shows it, as a message in the log.
void TstPing::verdict()
{
    QFETCH(QString, address);
    QFETCH(qint32, status);
    QFETCH(QString, sentTo);
    QFETCH(QString, statusText);
    ScriptedPlatform system;
    PingCommand command(system.platform());
    command.ping(u"192.0.2.1"_s); // answered: nothing of it may show in the next verdict
    system.log.clear();
    system.status = status;

    const PingVerdict told = command.ping(address);
    system.showMessage(told.message, told.style, told.title);

    const bool alive = status == 0 && !sentTo.isEmpty();
    QCOMPARE(system.log,
             PingLog(sentTo) << (alive
                                     ? u"The IP %1 Is Alive.\r\nDelay: 120 ms.\r\nStatus: %2 [IP Is Alive, style 64]"_s
                                     : u"The IP %1 Is Dead.\r\nDelay: 0 ms.\r\nStatus: %2 [IP Is Dead, style 16]"_s)
                                    .arg(address, statusText));
    QCOMPARE(told.alive, alive);
}

// The last line of a verdict, for the codes the table knows, the codes next to them, and a negative one.
void TstPing::statusTexts()
{
    QList<qint32> statuses{0, 199, 200, 201, 11050, 11255, -11010};
    for (qint32 status = 11000; status <= 11024; ++status)
        statuses.append(status);
    QStringList told;
    for (const qint32 status : statuses)
        told.append(IcmpStatusText(status));
    QCOMPARE(told.join(u'|'),
             u"Success|Unknown Error|Ping Timeout|Unknown Error|General Failure|Pending|Unknown Error|Unknown Error|"
             u"Buffer Too Small|Destination Network Unreachable|Destination Host Unreachable|"
             u"Destination Protocol Unreachable|Destination Port Unreachable|No Resources|Bad Option|HW_ERROR|"
             u"Packet Too Big|Request Timed Out|Bad Request|Bad Route|TTL Expired Transit|TTL Expired Reassem|"
             u"Parameter Problem|Source Quench|Option Too Big|Bad Destination|Address Deleted|Spec MTU Change|"
             u"MTU Change|Unload|Address Added|Unknown Error"_s);
}

// The echo goes out whatever the library says; its start and its shutdown each tell their own
// failure, in Spanish, with no title of their own.
void TstPing::socketLibraryComplaintsComeBeforeTheVerdict_data()
{
    QTest::addColumn<qint32>("startStatus");
    QTest::addColumn<int>("version"); // granted: major number in the low byte
    QTest::addColumn<int>("sockets");
    QTest::addColumn<qint32>("cleanup");
    QTest::addColumn<QString>("startTold");
    QTest::addColumn<QString>("cleanupTold");
    const QString version = u"El entorno de Windows Sockets para 32 bit Windows no puede trabajar con la versión "
                            u"Windows Sockets %1 [tolve, style 48]"_s;
    QTest::newRow("2.0 and the most sockets") << 0 << 0x0002 << 65535 << 0 << QString() << QString();
    QTest::newRow("1.2 and one socket") << 0 << 0x0201 << 1 << 0 << QString() << QString();
    QTest::newRow("not started") << 10091 << 0 << 0 << 0
                                 << u"El entorno de Windows Sockets para 32 bit Windows no responde. [tolve, style 0]"_s
                                 << QString();
    QTest::newRow("1.0") << 0 << 0x0001 << 1 << 0 << version.arg(u"1.0"_s) << QString();
    QTest::newRow("no socket") << 0 << 0x0101 << 0 << 0
                               << u"Esta aplicación requiere como minimo de 1 sockets. [tolve, style 48]"_s
                               << QString();
    QTest::newRow("shutdown fails") << 0 << 0x0101 << 1 << -1 << QString()
                                    << u"Se ha producido el error -1 al cerrar el Windows Sockets. [tolve, style 48]"_s;
}

void TstPing::socketLibraryComplaintsComeBeforeTheVerdict()
{
    QFETCH(qint32, startStatus);
    QFETCH(int, version);
    QFETCH(int, sockets);
    QFETCH(qint32, cleanup);
    QFETCH(QString, startTold);
    QFETCH(QString, cleanupTold);
    ScriptedPlatform system;
    system.start = {startStatus, quint16(version), quint16(sockets)};
    system.cleanup = cleanup;
    QStringList expected = PingLog(u"192.0.2.10"_s);
    if (!startTold.isEmpty())
        expected.insert(1, startTold);
    if (!cleanupTold.isEmpty())
        expected.append(cleanupTold);
    QVERIFY(PingCommand(system.platform()).ping(u"192.0.2.10"_s).alive);
    QCOMPARE(system.log, expected);
}

// Each row runs as nobody in a network namespace of its own, with loopback up, where only the row's
// ICMP socket may be opened: datagram (ping_group_range), raw (CAP_NET_RAW permitted) or neither.
void TstPing::echo_data()
{
    QTest::addColumn<QString>("sockets");
    QTest::addColumn<QString>("reject"); // the ICMP error that answers echoes to 127.0.0.2
    QTest::addColumn<qint32>("destination");
    QTest::addColumn<qint32>("status");

    const QString host = u"host-unreachable"_s;
    for (const QString& sockets : {u"datagram"_s, u"raw"_s}) {
        const auto row = [&sockets](const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", qPrintable(sockets), name) << sockets;
        };
        row("answered") << host << Loopback << 0;
        row("silent") << host << SilentHost << 11010;
        row("network unreachable") << u"net-unreachable"_s << RejectingHost << 11002;
        row("host unreachable") << host << RejectingHost << 11003;
        row("protocol unreachable") << u"prot-unreachable"_s << RejectingHost << 11004;
        row("port unreachable") << u"port-unreachable"_s << RejectingHost << 11005;
        row("prohibited") << u"admin-prohibited"_s << RejectingHost << 11003;
        row("no route") << host << UnroutedHost << 11002;
        row("unreachable route") << host << UnreachableHost << 11003;
    }
    QTest::newRow("zero address") << u"datagram"_s << host << 0 << 11018;
    QTest::newRow("neither socket") << u"none"_s << host << Loopback << 11050;
}

void TstPing::echo()
{
    QFETCH(QString, sockets);
    QFETCH(QString, reject);
    QFETCH(qint32, destination);
    QFETCH(qint32, status);
    const QString nobody = u"setpriv --reuid=65534 --regid=65534 --clear-groups"_s;
    const QString ambient = sockets == u"raw"_s ? u"+net_raw"_s : u"-net_raw"_s;
    const QStringList setup{
        u"ip link set lo up && ip route add 10.99.0.0/24 dev lo && ip route add unreachable 10.97.0.0/24"_s,
        u"echo %1 > /proc/sys/net/ipv4/ping_group_range"_s.arg(sockets == u"datagram"_s ? u"0 2147483647"_s : u"1 0"_s),
        u"nft 'add table inet t; add chain inet t in { type filter hook input priority 0; }; add rule inet t in "
        u"ip daddr 127.0.0.2 icmp type echo-request reject with icmp type %1'"_s.arg(reject),
        u"{ %1 test -x '%2' || ! echo nobody cannot run %2; }"_s.arg(nobody, QCoreApplication::applicationFilePath())};
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(setup,
                                      (nobody + u" --inh-caps=+net_raw --ambient-caps="_s + ambient).split(u' '));

    RawSocketPrivilege::restrictProcess(); // as the programs do at start
    const QByteArray capabilitiesBefore = EffectiveCapabilities();
    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    const IcmpHandle handle = icmp.IcmpCreateFile();
    const QByteArray payload = QByteArray("abc\0", 4) + QByteArray(296, 'x'); // beyond the record's data area
    // Another program pings while the echo waits: a raw socket hears its replies and errors.
    const IcmpHandle other = handle == IcmpHandle::Invalid ? handle : icmp.IcmpCreateFile();
    const std::jthread otherProgram([&icmp, other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::array<std::byte, sizeof(EchoReply)> scratch{};
        for (const qint32 to : {Loopback, RejectingHost})
            icmp.IcmpSendEcho(other, to, {}, scratch, TimeoutMs);
    });
    EchoReply reply;
    const std::span<std::byte> bytes = std::as_writable_bytes(std::span(&reply, 1));
    std::ranges::fill(bytes, std::byte{0xFF});
    const quint32 replies = icmp.IcmpSendEcho(handle, destination, payload, bytes, TimeoutMs);

    // A reply fills the data area with what came back, as much as fits; a failure leaves it alone.
    const QByteArray dataArea = status == 0 ? payload.first(250) : QByteArray(250, '\xFF');
    const qint32 responder = status == 0 || destination == RejectingHost ? destination : Untouched;
    const bool timed =
        status == 0 ? reply.RoundTripTime >= 0 && reply.RoundTripTime <= TimeoutMs : reply.RoundTripTime == Untouched;
    QCOMPARE((QList<qint64>{replies, reply.Status, qint32(reply.Address), reply.DataSize, timed}),
             (QList<qint64>{status == 0, status, responder, status == 0 ? 250 : 0xFFFF, true}));
    QCOMPARE(QByteArray(reply.Data.data(), 250), dataArea);
    QCOMPARE(capabilitiesBefore + '/' + EffectiveCapabilities(), "0000000000000000/0000000000000000");
    QCOMPARE(prompter.messages.size(), sockets == u"none"_s ? 1 : 0);
    for (const RecordingPrompter::Message& advice : prompter.messages)
        QVERIFY2(advice.text.contains(u"sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""_s)
                     && advice.text.contains(u"setcap cap_net_raw+p \""_s + QCoreApplication::applicationFilePath()),
                 qPrintable(advice.text));
}

QTEST_GUILESS_MAIN(TstPing)
#include "tst_ping.moc"
