#include "ClosedPort.h"
#include "FakeWhoisServer.h"
#include "NetworkNamespace.h"
#include "WhoisSession.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

WhoisSession::AddressSource Selected(const QString& address)
{
    return [address] { return std::optional<QString>(address); };
}

// Waits a few time-outs long for the transcript to change, which it must not.
bool TranscriptStaysAsItIs(const WhoisSession& session, std::chrono::milliseconds timeout)
{
    const QString before = session.transcript();
    return !QTest::qWaitFor([&] { return session.transcript() != before; }, 5 * int(timeout.count()));
}

constexpr quint16 BreakingPort = 4343;

} // namespace

class TstWhoisSession final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheAnswerAsItArrives_data();
    void showsTheAnswerAsItArrives();
    void addressIsReadWhenTheConnectionStands();
    void refusedConnectionCannotConnect();
    void brokenConnectionFailsAfterTheLastCharacter();
    void unansweredConnectionTimesOut();
    void closeWhileConnectingAppendsNothing();
    void noSelectedProxyAsksNothing();
};

void TstWhoisSession::showsTheAnswerAsItArrives_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("sentWithTheClose");
    QTest::addColumn<QString>("transcript");

    const QString head = u"*** Whoising 10.0.0.1...\r\n"_s;
    const QString tail = u"\r\n*** End of whois."_s;
    QTest::newRow("lines ended by LF") << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n")
                                       << QList<QByteArray>{"first line\nsecond line\n"} << QByteArray()
                                       << head + u"first line\r\nsecond line\r\n"_s + tail;
    QTest::newRow("lines ended by CR LF")
        << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n") << QList<QByteArray>{"first line\r\nsecond line\r\n"}
        << QByteArray() << head + u"first line\r\r\nsecond line\r\r\n"_s + tail;
    QTest::newRow("several chunks in arrival order")
        << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n")
        << QList<QByteArray>{"NetRange: 10.0.0.0", " - 10.255.255.255\nCIDR:", " 10.0.0.0/8\n"} << QByteArray()
        << head + u"NetRange: 10.0.0.0 - 10.255.255.255\r\nCIDR: 10.0.0.0/8\r\n"_s + tail;
    QTest::newRow("CR and LF in different chunks")
        << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n") << QList<QByteArray>{"line\r", "\nnext\n"} << QByteArray()
        << head + u"line\r\r\nnext\r\n"_s + tail;
    QTest::newRow("last chunk comes with the close")
        << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n") << QList<QByteArray>{"first\n"} << QByteArray("second\n")
        << head + u"first\r\nsecond\r\n"_s + tail;
    QTest::newRow("no answer at all") << u"10.0.0.1"_s << QByteArray("10.0.0.1\r\n") << QList<QByteArray>{}
                                      << QByteArray() << head + tail;
    QTest::newRow("blanks around the address sent as they stand")
        << u" 10.0.0.1 "_s << QByteArray(" 10.0.0.1 \r\n") << QList<QByteArray>{"ok\n"} << QByteArray()
        << u"*** Whoising  10.0.0.1 ...\r\nok\r\n"_s + tail;
}

void TstWhoisSession::showsTheAnswerAsItArrives()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, query);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, sentWithTheClose);
    QFETCH(QString, transcript);

    FakeWhoisServer server;
    QVERIFY(server.isListening());
    WhoisSession session(server.address(), Selected(address));
    QSignalSpy appended(&session, &WhoisSession::appended);
    session.start();
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QSignalSpy queryEnded(peer, &QTcpSocket::readChannelFinished);
    QTRY_COMPARE(server.received(peer), query);

    for (const QByteArray& chunk : chunks) {
        const qsizetype before = session.transcript().size();
        peer->write(chunk);
        QTRY_VERIFY(session.transcript().size() > before);
    }
    // The client keeps its sending side open while the server answers.
    QCOMPARE(queryEnded.count(), 0);
    QCOMPARE(session.state(), WhoisSession::State::Receiving);

    peer->write(sentWithTheClose);
    peer->disconnectFromHost();
    QTRY_COMPARE(session.state(), WhoisSession::State::Ended);
    QCOMPARE(session.transcript(), transcript);
    QCOMPARE(server.received(peer), query);
    QString pieces;
    for (const QList<QVariant>& signal : appended)
        pieces += signal.at(0).toString();
    QCOMPARE(pieces, transcript);
}

void TstWhoisSession::addressIsReadWhenTheConnectionStands()
{
    FakeWhoisServer server;
    QString selected = u"10.0.0.1"_s;
    WhoisSession session(server.address(), [&selected] { return std::optional<QString>(selected); });
    session.start();
    selected = u"10.0.0.2"_s;
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(server.received(peer), QByteArray("10.0.0.2\r\n"));
    QCOMPARE(session.transcript(), u"*** Whoising 10.0.0.2...\r\n"_s);
}

void TstWhoisSession::refusedConnectionCannotConnect()
{
    const auto timeout = 50ms;
    WhoisSession session(HostPort{u"127.0.0.1"_s, ClosedLoopbackPort()}, Selected(u"10.0.0.1"_s), {timeout});
    session.start();
    QTRY_COMPARE(session.state(), WhoisSession::State::Failed);
    QCOMPARE(session.transcript(), u"*** Cannot connect to whois server."_s);
    QVERIFY(TranscriptStaysAsItIs(session, timeout));
}

// Qt reports a reset by the server as it reports the server's close, so the break here is
// a line that goes dead: in the namespace both ends are on its own loopback, the client's
// data segments are dropped on their way out and retransmissions give up after a second or
// so, while the server's first bytes still arrive.
void TstWhoisSession::brokenConnectionFailsAfterTheLastCharacter()
{
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE((QStringList{
        u"ip link set lo up"_s,
        u"echo 1 > /proc/sys/net/ipv4/tcp_retries2"_s,
        u"nft 'add table inet whois'"_s,
        u"nft 'add chain inet whois out { type filter hook output priority 0; }'"_s,
        u"nft 'add rule inet whois out tcp dport %1 tcp flags & psh == psh drop'"_s.arg(BreakingPort),
    }));

    FakeWhoisServer server(BreakingPort);
    QVERIFY(server.isListening());
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s));
    session.start();
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(session.state(), WhoisSession::State::Receiving);
    peer->write("NetRange: 10.0.0.0\nCIDR: 10.0");
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), WhoisSession::State::Failed, 30000);
    QCOMPARE(session.transcript(),
             u"*** Whoising 10.0.0.1...\r\nNetRange: 10.0.0.0\r\nCIDR: 10.0*** Cannot connect to whois server."_s);
}

// Inside the namespace, 10.99.0.2 is routed to loopback, where no host has it: the
// connection attempt goes unanswered, neither accepted nor refused.
void TstWhoisSession::unansweredConnectionTimesOut()
{
    VARNHOLT_RUN_IN_NETWORK_NAMESPACE((QStringList{u"ip link set lo up"_s, u"ip route add 10.99.0.0/24 dev lo"_s}));

    const auto timeout = 200ms;
    WhoisSession session(HostPort{u"10.99.0.2"_s, std::nullopt}, Selected(u"10.0.0.1"_s), {timeout});
    session.start();
    QTRY_COMPARE(session.state(), WhoisSession::State::TimedOut);
    QCOMPARE(session.transcript(), u"*** Connection to whois server timed out.\r\n"_s);
    QVERIFY(TranscriptStaysAsItIs(session, timeout));
}

void TstWhoisSession::closeWhileConnectingAppendsNothing()
{
    const auto timeout = 50ms;
    FakeWhoisServer server;
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s), {timeout});
    QSignalSpy appended(&session, &WhoisSession::appended);
    session.start();
    QCOMPARE(session.state(), WhoisSession::State::Connecting);
    session.close();

    QCOMPARE(session.state(), WhoisSession::State::Closed);
    // On loopback the attempt has reached the server already; it is closed without a byte.
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server.received(peer), QByteArray());
    QVERIFY(TranscriptStaysAsItIs(session, timeout));
    QCOMPARE(appended.count(), 0);
    QCOMPARE(session.state(), WhoisSession::State::Closed);
}

void TstWhoisSession::noSelectedProxyAsksNothing()
{
    FakeWhoisServer server;
    WhoisSession session(server.address(), [] { return std::optional<QString>(); });
    session.start();
    QCOMPARE(session.state(), WhoisSession::State::NoProxySelected);
    QCOMPARE(session.transcript(), u"*** No proxy selected."_s);
    QVERIFY(!QTest::qWaitFor([&server] { return server.hasPendingPeer(); }, 200));
}

QTEST_GUILESS_MAIN(TstWhoisSession)
#include "tst_whoissession.moc"
