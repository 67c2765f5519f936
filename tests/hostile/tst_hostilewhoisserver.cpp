#include "FakeWhoisServer.h"
#include "PlainText.h"
#include "WhoisSession.h"

#include <QTest>

#include <sys/socket.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString Whoising = u"*** Whoising 10.0.0.1...\r\n"_s;
const QString EndLine = u"\r\n*** End of whois."_s;

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

// Drops the connection with a reset instead of an orderly close: no linger, so closing sends
// RST and throws away whatever was still unsent.
void Reset(QTcpSocket& peer)
{
    const linger abortive{1, 0};
    QVERIFY(::setsockopt(int(peer.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) == 0);
    peer.abort();
}

} // namespace

// The whois server as an adversary, on loopback: it holds the line, floods, sends bytes no
// text should hold, or breaks off. In every case the window's transcript shows what arrived,
// nothing is lost before the cut, and the lookup never hangs past the user's close.
class TstHostileWhoisServer final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverThatNeverClosesLeavesTheLookupToTheUser_data();
    void serverThatNeverClosesLeavesTheLookupToTheUser();
    void answerIsCutAtTheCap_data();
    void answerIsCutAtTheCap();
    void controlBytesAreKeptAndShownAsPictures();
    void resetInTheMiddleKeepsWhatArrived();

private:
    QTcpSocket* connectSession(FakeWhoisServer& server, WhoisSession& session);
};

QTcpSocket* TstHostileWhoisServer::connectSession(FakeWhoisServer& server, WhoisSession& session)
{
    session.start();
    QTcpSocket* peer = server.waitForPeer();
    if (peer && !QTest::qWaitFor([&] { return server.received(peer) == "10.0.0.1\r\n"; }))
        return nullptr;
    return peer;
}

void TstHostileWhoisServer::serverThatNeverClosesLeavesTheLookupToTheUser_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("never answers") << QByteArray();
    QTest::newRow("answers, then holds the line") << QByteArray("NetRange: 10.0.0.0 - 10.255.255.255\n");
}

// Once connected there is no time limit: only the user's close ends the lookup, and it adds
// nothing to the transcript.
void TstHostileWhoisServer::serverThatNeverClosesLeavesTheLookupToTheUser()
{
    QFETCH(QByteArray, answer);
    const auto timeout = 50ms;
    FakeWhoisServer server;
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s), {timeout});
    QTcpSocket* peer = connectSession(server, session);
    QVERIFY(peer);
    peer->write(answer);
    const QString shown = Whoising + QString::fromLatin1(answer).replace(u'\n', u"\r\n"_s);
    QTRY_COMPARE(session.transcript(), shown);

    QVERIFY(TranscriptStaysAsItIs(session, timeout));
    QCOMPARE(session.state(), WhoisSession::State::Receiving);

    session.close();
    QCOMPARE(session.state(), WhoisSession::State::Closed);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(session.transcript(), shown);
}

void TstHostileWhoisServer::answerIsCutAtTheCap_data()
{
    QTest::addColumn<bool>("endless");
    QTest::addColumn<QString>("ending");

    QTest::newRow("flood past the cap") << true << u"\r\n*** Answer too long; the rest was not read."_s;
    QTest::newRow("answer of exactly the cap") << false << EndLine;
}

void TstHostileWhoisServer::answerIsCutAtTheCap()
{
    QFETCH(bool, endless);
    QFETCH(QString, ending);

    constexpr qint64 cap = 100'003;
    const QByteArray line = "0123456789abcd\n";
    const QByteArray block = line.repeated(4096);
    FakeWhoisServer server;
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s), {10s, cap});
    QTcpSocket* peer = connectSession(server, session);
    QVERIFY(peer);
    if (endless) {
        const auto keepSending = [peer, block] {
            if (peer->state() == QAbstractSocket::ConnectedState && peer->bytesToWrite() < block.size())
                peer->write(block);
        };
        connect(peer, &QTcpSocket::bytesWritten, peer, keepSending);
        keepSending();
    } else {
        peer->write(block.repeated(2).left(cap));
        peer->disconnectFromHost();
    }

    QTRY_VERIFY(session.state() != WhoisSession::State::Receiving);
    const QString answer = QString::fromLatin1(block.repeated(2).left(cap)).replace(u'\n', u"\r\n"_s);
    QCOMPARE(session.transcript(), Whoising + answer + ending);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

// NUL, other control bytes and bytes that are no UTF-8 stay in the transcript as received,
// and the window shows the control characters as their pictures instead of dropping them or
// cutting the text at a NUL.
void TstHostileWhoisServer::controlBytesAreKeptAndShownAsPictures()
{
    FakeWhoisServer server;
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s));
    QTcpSocket* peer = connectSession(server, session);
    QVERIFY(peer);
    const char answerBytes[] = "Org\0Name: A\x01\x7f\xff\n\0\0tail";
    peer->write(answerBytes, sizeof answerBytes - 1);
    peer->disconnectFromHost();
    QTRY_COMPARE(session.state(), WhoisSession::State::Ended);

    const QString answer = u"Org\0Name: A\x01\x7f\u00ff\r\n\0\0tail"_s;
    QCOMPARE(session.transcript(), Whoising + answer + EndLine);
    QCOMPARE(DisplayText(session.transcript()),
             Whoising + u"Org\u2400Name: A\u2401\u2421\u00ff\r\n\u2400\u2400tail"_s + EndLine);
}

// Qt's socket layer reads a reset by the server as it reads an orderly close, so the lookup
// ends as if the answer were complete: what arrived before the reset stays, and the end line
// follows it.
void TstHostileWhoisServer::resetInTheMiddleKeepsWhatArrived()
{
    FakeWhoisServer server;
    WhoisSession session(server.address(), Selected(u"10.0.0.1"_s));
    QTcpSocket* peer = connectSession(server, session);
    QVERIFY(peer);
    peer->write("NetRange: 10.0.0.0\nCIDR: 10.0");
    const QString received = Whoising + u"NetRange: 10.0.0.0\r\nCIDR: 10.0"_s;
    QTRY_COMPARE(session.transcript(), received);

    Reset(*peer);
    QTRY_VERIFY(session.state() != WhoisSession::State::Receiving);
    QCOMPARE(session.state(), WhoisSession::State::Ended);
    QCOMPARE(session.transcript(), received + EndLine);
}

QTEST_GUILESS_MAIN(TstHostileWhoisServer)
#include "tst_hostilewhoisserver.moc"
