#include "ClosedPort.h"
#include "NetworkNamespace.h"
#include "WhoisSession.h"

#include <QTcpServer>
#include <QTest>

#include <tuple>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using State = WhoisSession::State;
using Chunks = QList<QByteArray>;

// What the server does after its chunks, or why no server answers. NeverAccepts runs in a network
// namespace of its own, where 10.99.0.2 is routed to loopback and no host has it.
enum class Server { Closes, Holds, NoSelection, Refuses, NeverAccepts };

constexpr auto ConnectTimeout = 200ms;
constexpr qint64 AnswerCap = 100'003;
const QByteArray Flood = QByteArray("0123456789abcd\n").repeated(8192);
const QString Whoising = u"*** Whoising 10.0.0.1...\r\n"_s;
const QString EndLine = u"\r\n*** End of whois."_s;

class TstWhoisSession final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transcriptTellsWhatHappened_data();
    void transcriptTellsWhatHappened();

private:
    // Counts the firings of the connect timer, Timer1, as the application delivers them.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        m_timeouts += event->type() == QEvent::Timer && watched->objectName() == u"Timer1"_s ? 1 : 0;
        return false;
    }

    int m_timeouts = 0;
};

void TstWhoisSession::transcriptTellsWhatHappened_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<Chunks>("chunks"); // each one shown before the next is sent
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("transcript");

    const QString capped = QString::fromLatin1(Flood.left(AnswerCap)).replace(u'\n', u"\r\n"_s);
    QTest::newRow("chunks cut through line ends and characters")
        << Server::Closes << Chunks{"first\nCaf\xC3", "\xA9\r", "\n\xF0\x9F", "\x98\x80 \xF4\x8F", "\xBF\xBF"}
        << State::Ended << Whoising + u"first\r\nCafé\r\r\n😀 \U0010FFFF"_s + EndLine;
    // Overlong, surrogate and too high forms, a byte never in UTF-8, a character left incomplete.
    QTest::newRow("bytes that are no UTF-8 read as Latin-1")
        << Server::Closes << Chunks{"\xC0\xAF\xE0\x9F\xBF\xED\xA0\x80\xF4\x90\x80\x80 \xC3\xA9\xFF\0\x01 \xE2\x82"_ba}
        << State::Ended
        << Whoising + QString::fromLatin1("\xC0\xAF\xE0\x9F\xBF\xED\xA0\x80\xF4\x90\x80\x80 ")
            + u"\u00E9\u00FF\0\x01 \u00E2\u0082"_s + EndLine;
    QTest::newRow("no answer") << Server::Closes << Chunks{} << State::Ended << Whoising + EndLine;
    QTest::newRow("holds the line past the connect time-out")
        << Server::Holds << Chunks{"NetRange: 10.0.0.0\n"} << State::Receiving
        << Whoising + u"NetRange: 10.0.0.0\r\n"_s;
    QTest::newRow("answer past the cap") << Server::Holds << Chunks{Flood} << State::AnswerTooLong
                                         << Whoising + capped + u"\r\n*** Answer too long; the rest was not read."_s;
    QTest::newRow("no proxy selected") << Server::NoSelection << Chunks{} << State::NoProxySelected
                                       << u"*** No proxy selected."_s;
    QTest::newRow("refused") << Server::Refuses << Chunks{} << State::Failed
                             << u"*** Cannot connect to whois server."_s;
    QTest::newRow("never accepted") << Server::NeverAccepts << Chunks{} << State::TimedOut
                                    << u"*** Connection to whois server timed out.\r\n"_s;
}

void TstWhoisSession::transcriptTellsWhatHappened()
{
    QFETCH(Server, server);
    QFETCH(Chunks, chunks);
    QFETCH(State, state);
    QFETCH(QString, transcript);
    if (server == Server::NeverAccepts) {
        VARNHOLT_RUN_IN_NETWORK_NAMESPACE((QStringList{u"ip link set lo up"_s, u"ip route add 10.99.0.0/24 dev lo"_s}));
    }

    QTcpServer whois;
    QVERIFY(whois.listen(QHostAddress::LocalHost));
    std::optional<QString> selected = server == Server::NoSelection ? std::nullopt : std::optional(u"10.0.0.9"_s);
    const HostPort address = server == Server::Refuses ? HostPort{u"127.0.0.1"_s, ClosedLoopbackPort()}
        : server == Server::NeverAccepts               ? HostPort{u"10.99.0.2"_s, std::nullopt}
                                                       : HostPort{u"127.0.0.1"_s, whois.serverPort()};
    WhoisSession session(address, [&selected] { return selected; }, {ConnectTimeout, AnswerCap});
    m_timeouts = 0;
    QCoreApplication::instance()->installEventFilter(this);
    session.start();
    // The address asked for is the one selected when the connection stands.
    if (selected)
        selected = u"10.0.0.1"_s;

    QTcpSocket* peer = nullptr;
    if (server <= Server::Holds) {
        QTRY_VERIFY(whois.hasPendingConnections());
        peer = whois.nextPendingConnection();
        QTRY_COMPARE(peer->peek(64), "10.0.0.1\r\n"_ba);
        for (const QByteArray& chunk : chunks) {
            const qsizetype before = session.transcript().size();
            peer->write(chunk);
            QTRY_VERIFY(session.transcript().size() > before);
        }
        if (server == Server::Closes)
            peer->disconnectFromHost();
    }

    QTRY_COMPARE(session.state(), state);
    // Only a lookup that times out sees its connect timer fire; a stray firing comes within the time-out.
    const int timeouts = state == State::TimedOut ? 1 : 0;
    std::ignore = QTest::qWaitFor([&] { return session.transcript() != transcript || m_timeouts != timeouts; },
                                  2 * int(ConnectTimeout.count()));
    QCOMPARE(session.transcript(), transcript);
    QCOMPARE(m_timeouts, timeouts);
    QVERIFY(peer || !whois.hasPendingConnections());

    // The user's close ends the lookup where it stands, without a word more, and hangs up.
    session.close();
    QCOMPARE(session.transcript(), transcript);
    QTRY_VERIFY(!peer || peer->state() == QAbstractSocket::UnconnectedState);
}

QTEST_GUILESS_MAIN(TstWhoisSession)
#include "tst_whoissession.moc"
