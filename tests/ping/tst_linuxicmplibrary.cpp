#include "LinuxIcmpLibrary.h"
#include "NetworkNamespace.h"
#include "RecordingPrompter.h"

#include <QTest>
#include <QtEndian>

#include <netinet/ip_icmp.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Address values: the address's parts in little-endian byte order.
constexpr qint32 Loopback = 0x0100007F; // 127.0.0.1
constexpr qint32 RejectingHost = 0x0200007F; // 127.0.0.2, refused by the test's nft rule
constexpr qint32 SilentHost = 0x0200630A; // 10.99.0.2, routed to loopback where nobody answers
constexpr qint32 UnroutedHost = 0x0100620A; // 10.98.0.1, no route in the namespace

constexpr qint32 TimeoutMs = 500;

// The reply buffer the echo call fills, read the way the ping reads it.
struct ReplyBuffer
{
    std::array<std::byte, 278> bytes{};

    qint32 field(std::size_t offset) const { return qFromLittleEndian<qint32>(bytes.data() + offset); }
    qint32 status() const { return field(EchoReplyLayout::StatusOffset); }
    qint32 roundTripTime() const { return field(EchoReplyLayout::RoundTripTimeOffset); }
    qint32 address() const { return field(EchoReplyLayout::AddressOffset); }
    int dataSize() const { return qFromLittleEndian<quint16>(bytes.data() + EchoReplyLayout::DataSizeOffset); }
    QByteArray data() const
    {
        return QByteArray(reinterpret_cast<const char*>(bytes.data()) + EchoReplyLayout::HeaderSize, dataSize());
    }
    void setRoundTripTime(qint32 value) { qToLittleEndian(value, bytes.data() + EchoReplyLayout::RoundTripTimeOffset); }
};

// One echo through a handle of its own, into the buffer as the caller prepared it.
quint32 EchoOnce(qint32 destination, ReplyBuffer& reply)
{
    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    const IcmpHandle handle = icmp.IcmpCreateFile();
    const quint32 replies = icmp.IcmpSendEcho(handle, destination, {}, reply.bytes, TimeoutMs);
    icmp.IcmpCloseHandle(handle);
    return replies;
}

// Where a row runs: a new network namespace in which only loopback is up, 10.99.0.0/24 is
// routed to loopback, the nft rules (if any) answer 127.0.0.2, and only the row's kind of ICMP
// socket may be opened: datagram (every group in ping_group_range), raw (CAP_NET_RAW kept) or none.
QStringList NamespaceSetup(const QString& sockets, const QString& rules = {})
{
    QStringList setup{u"ip link set lo up"_s, u"ip route add 10.99.0.0/24 dev lo"_s,
                      u"echo %1 > /proc/sys/net/ipv4/ping_group_range"_s.arg(
                          sockets == u"datagram"_s ? u"0 2147483647"_s : u"1 0"_s)};
    if (!rules.isEmpty())
        setup.append(u"nft \"%1\""_s.arg(rules));
    return setup;
}

QStringList NamespaceWrapper(const QString& sockets)
{
    if (sockets == u"raw"_s)
        return {};
    return {u"setpriv"_s, u"--inh-caps"_s, u"-net_raw"_s, u"--bounding-set"_s, u"-net_raw"_s};
}

// An nft rule set that answers echo requests to 127.0.0.2 with the ICMP error named.
QString RejectRules(const QString& reject)
{
    return u"add table inet test; add chain inet test input { type filter hook input priority 0; }; "
           u"add rule inet test input ip daddr 127.0.0.2 icmp type echo-request reject with icmp type "_s
        + reject;
}

} // namespace

class TstLinuxIcmpLibrary final : public QObject
{
    Q_OBJECT

private slots:

    void icmpErrorStatus_data();
    void icmpErrorStatus();
    void socketErrorStatus_data();
    void socketErrorStatus();
    void shortBufferIsLeftAlone();

    void echoOnThisMachine_data();
    void echoOnThisMachine();

    void loopbackAnswers_data();
    void loopbackAnswers();
    void unansweredEchoTimesOut_data();
    void unansweredEchoTimesOut();
    void failedEchoTellsWhy_data();
    void failedEchoTellsWhy();
    void forbiddenSocketsAskForPermission_data();
    void forbiddenSocketsAskForPermission();

private:
    static void socketsColumn();
};

void TstLinuxIcmpLibrary::socketsColumn()
{
    QTest::addColumn<QString>("sockets");
}

void TstLinuxIcmpLibrary::icmpErrorStatus_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<qint32>("status");
    // The codes an nft rule can send are checked end to end in failedEchoTellsWhy.
    QTest::newRow("fragmentation needed") << ICMP_DEST_UNREACH << ICMP_FRAG_NEEDED << 11009;
    QTest::newRow("source route failed") << ICMP_DEST_UNREACH << ICMP_SR_FAILED << 11012;
    QTest::newRow("network unknown") << ICMP_DEST_UNREACH << ICMP_NET_UNKNOWN << 11002;
    QTest::newRow("network prohibited") << ICMP_DEST_UNREACH << ICMP_NET_ANO << 11002;
    QTest::newRow("host unknown") << ICMP_DEST_UNREACH << ICMP_HOST_UNKNOWN << 11003;
    QTest::newRow("TTL exceeded in transit") << ICMP_TIME_EXCEEDED << ICMP_EXC_TTL << 11013;
    QTest::newRow("TTL exceeded in reassembly") << ICMP_TIME_EXCEEDED << ICMP_EXC_FRAGTIME << 11014;
    QTest::newRow("parameter problem") << ICMP_PARAMETERPROB << 0 << 11015;
    QTest::newRow("source quench") << ICMP_SOURCE_QUENCH << 0 << 11016;
    QTest::newRow("redirect") << ICMP_REDIRECT << 0 << 11050;
}

void TstLinuxIcmpLibrary::icmpErrorStatus()
{
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(qint32, status);

    QCOMPARE(IcmpErrorStatus(type, code), status);
}

void TstLinuxIcmpLibrary::socketErrorStatus_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<qint32>("status");
    // No route is checked end to end in failedEchoTellsWhy.
    QTest::newRow("host unreachable") << EHOSTUNREACH << 11003;
    QTest::newRow("message too long") << EMSGSIZE << 11009;
    QTest::newRow("no buffer space") << ENOBUFS << 11006;
    QTest::newRow("forbidden by a firewall") << EPERM << 11050;
    QTest::newRow("bad descriptor") << EBADF << 11050;
}

void TstLinuxIcmpLibrary::socketErrorStatus()
{
    QFETCH(int, error);
    QFETCH(qint32, status);

    QCOMPARE(SocketErrorStatus(error), status);
}

void TstLinuxIcmpLibrary::shortBufferIsLeftAlone()
{
    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    std::array<std::byte, EchoReplyLayout::HeaderSize - 1> buffer{};
    buffer.fill(std::byte{0x5a});

    QCOMPARE(icmp.IcmpSendEcho(IcmpHandle::Invalid, Loopback, {}, buffer, TimeoutMs), 0u);

    QVERIFY(std::all_of(buffer.begin(), buffer.end(), [](std::byte b) { return b == std::byte{0x5a}; }));
}

void TstLinuxIcmpLibrary::echoOnThisMachine_data()
{
    QTest::addColumn<qint32>("destination");
    QTest::addColumn<quint32>("replies");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<qint32>("responder");
    QTest::addColumn<QByteArray>("echoed");
    QTest::newRow("loopback answers") << Loopback << 1u << 0 << Loopback << QByteArray("probe");
    QTest::newRow("zero address is a bad destination") << 0 << 0u << 11018 << 0 << QByteArray();
}

void TstLinuxIcmpLibrary::echoOnThisMachine()
{
    QFETCH(qint32, destination);
    QFETCH(quint32, replies);
    QFETCH(qint32, status);
    QFETCH(qint32, responder);
    QFETCH(QByteArray, echoed);
    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    const IcmpHandle handle = icmp.IcmpCreateFile();
    if (handle == IcmpHandle::Invalid)
        QSKIP("this system allows no ICMP socket to this process (net.ipv4.ping_group_range, CAP_NET_RAW)");
    ReplyBuffer reply;

    QCOMPARE(icmp.IcmpSendEcho(handle, destination, "probe", reply.bytes, TimeoutMs), replies);
    icmp.IcmpCloseHandle(handle);

    QCOMPARE(reply.status(), status);
    QCOMPARE(reply.address(), responder);
    QCOMPARE(reply.data(), echoed);
}

void TstLinuxIcmpLibrary::loopbackAnswers_data()
{
    socketsColumn();
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("echoed");

    const QByteArray large(300, 'x');
    for (const QString& sockets : {u"datagram"_s, u"raw"_s}) {
        QTest::addRow("%s, no payload", qPrintable(sockets)) << sockets << QByteArray() << QByteArray();
        QTest::addRow("%s, payload", qPrintable(sockets))
            << sockets << QByteArray("abc\0def", 7) << QByteArray("abc\0def", 7);
        QTest::addRow("%s, payload beyond the data area", qPrintable(sockets))
            << sockets << large << large.first(278 - EchoReplyLayout::HeaderSize);
    }
}

void TstLinuxIcmpLibrary::loopbackAnswers()
{
    QFETCH(QString, sockets);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, echoed);
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(NamespaceSetup(sockets), NamespaceWrapper(sockets));

    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    const IcmpHandle handle = icmp.IcmpCreateFile();
    QVERIFY(handle != IcmpHandle::Invalid);
    ReplyBuffer reply;
    reply.bytes.fill(std::byte{0x5a}); // every field the echo writes must be written

    QCOMPARE(icmp.IcmpSendEcho(handle, Loopback, payload, reply.bytes, TimeoutMs), 1u);
    // A second echo through the same handle is matched to its own reply.
    QCOMPARE(icmp.IcmpSendEcho(handle, Loopback, payload, reply.bytes, TimeoutMs), 1u);
    icmp.IcmpCloseHandle(handle);

    QCOMPARE(reply.status(), 0);
    QVERIFY2(reply.roundTripTime() >= 0 && reply.roundTripTime() <= TimeoutMs,
             qPrintable(QString::number(reply.roundTripTime())));
    QCOMPARE(reply.address(), Loopback);
    QCOMPARE(reply.data(), echoed);
    QCOMPARE(prompter.messages.size(), 0);
}

void TstLinuxIcmpLibrary::unansweredEchoTimesOut_data()
{
    socketsColumn();
    QTest::addColumn<bool>("otherTraffic");
    // A raw socket also sees the request itself come back on loopback, and hears every reply
    // and every error of other programs: all must be told apart from ours.
    for (const QString& sockets : {u"datagram"_s, u"raw"_s}) {
        QTest::addRow("%s, quiet", qPrintable(sockets)) << sockets << false;
        QTest::addRow("%s, another program pings", qPrintable(sockets)) << sockets << true;
    }
}

void TstLinuxIcmpLibrary::unansweredEchoTimesOut()
{
    QFETCH(QString, sockets);
    QFETCH(bool, otherTraffic);
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(
        NamespaceSetup(sockets, otherTraffic ? RejectRules(u"host-unreachable"_s) : QString()),
        NamespaceWrapper(sockets));
    // The other program pings while this echo waits: an answered echo and a refused one.
    std::jthread otherProgram;
    if (otherTraffic)
        otherProgram = std::jthread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ReplyBuffer otherReply;
            EchoOnce(Loopback, otherReply);
            EchoOnce(RejectingHost, otherReply);
        });
    ReplyBuffer reply;
    reply.setRoundTripTime(99);

    QCOMPARE(EchoOnce(SilentHost, reply), 0u);

    QCOMPARE(reply.status(), 11010);
    QCOMPARE(reply.roundTripTime(), 99);
    QCOMPARE(reply.address(), 0);
}

void TstLinuxIcmpLibrary::failedEchoTellsWhy_data()
{
    socketsColumn();
    QTest::addColumn<QString>("reject");
    QTest::addColumn<qint32>("destination");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<qint32>("responder");

    for (const QString& sockets : {u"datagram"_s, u"raw"_s}) {
        const auto row = [&sockets](const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", qPrintable(sockets), name);
        };
        row("network unreachable") << sockets << u"net-unreachable"_s << RejectingHost << 11002 << RejectingHost;
        row("host unreachable") << sockets << u"host-unreachable"_s << RejectingHost << 11003 << RejectingHost;
        row("protocol unreachable") << sockets << u"prot-unreachable"_s << RejectingHost << 11004 << RejectingHost;
        row("port unreachable") << sockets << u"port-unreachable"_s << RejectingHost << 11005 << RejectingHost;
        row("administratively prohibited")
            << sockets << u"admin-prohibited"_s << RejectingHost << 11003 << RejectingHost;
        row("no route") << sockets << QString() << UnroutedHost << 11002 << 0;
    }
}

void TstLinuxIcmpLibrary::failedEchoTellsWhy()
{
    QFETCH(QString, sockets);
    QFETCH(QString, reject);
    QFETCH(qint32, destination);
    QFETCH(qint32, status);
    QFETCH(qint32, responder);
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(NamespaceSetup(sockets, reject.isEmpty() ? QString() : RejectRules(reject)),
                                      NamespaceWrapper(sockets));

    ReplyBuffer reply;

    QCOMPARE(EchoOnce(destination, reply), 0u);

    QCOMPARE(reply.status(), status);
    QCOMPARE(reply.address(), responder);
    QCOMPARE(reply.roundTripTime(), 0);
}

void TstLinuxIcmpLibrary::forbiddenSocketsAskForPermission_data()
{
    socketsColumn();
    QTest::newRow("neither") << u"none"_s;
}

void TstLinuxIcmpLibrary::forbiddenSocketsAskForPermission()
{
    QFETCH(QString, sockets);
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE(NamespaceSetup(sockets), NamespaceWrapper(sockets));

    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    const IcmpHandle handle = icmp.IcmpCreateFile();
    ReplyBuffer reply;

    QCOMPARE(handle, IcmpHandle::Invalid);
    QCOMPARE(prompter.messages.size(), 1);
    const RecordingPrompter::Message& message = prompter.messages.constFirst();
    QCOMPARE(message.style, MessageStyle::Exclamation);
    QCOMPARE(message.title, u"tolve"_s);
    QVERIFY2(message.text.startsWith(u"This system does not allow this program to send ICMP echo requests"_s),
             qPrintable(message.text));
    QVERIFY(message.text.contains(u"sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""_s));
    QVERIFY(message.text.contains(u"setcap cap_net_raw+p \""_s + QCoreApplication::applicationFilePath() + u'"'));
    QCOMPARE(icmp.IcmpSendEcho(handle, Loopback, {}, reply.bytes, TimeoutMs), 0u);
    QCOMPARE(reply.status(), 11050);
    icmp.IcmpCloseHandle(handle);
}

QTEST_GUILESS_MAIN(TstLinuxIcmpLibrary)
#include "tst_linuxicmplibrary.moc"
