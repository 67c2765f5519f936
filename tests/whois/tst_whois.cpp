#include "ClosedPort.h"
#include "Form5.h"
#include "NetworkNamespace.h"
#include "TranscriptView.h"
#include "WhoisSession.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using State = WhoisSession::State;
using Chunks = QList<QByteArray>;

// What the server does after its chunks, or why no server answers. NeverAccepts runs in a network
// namespace of its own, where 10.99.0.2 is routed to loopback and no host has it.
enum class Server { Closes, Holds, NoSelection, Refuses, NeverAccepts };

constexpr auto ConnectTimeout = 200ms;
constexpr qint64 AnswerCap = 100'003;
const QString Whoising = u"*** Whoising 10.0.0.1...\r\n"_s;
const QString EndLine = u"\r\n*** End of whois."_s;

class TstWhois final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transcriptTellsWhatHappened_data();
    void transcriptTellsWhatHappened();
    void windowShowsTheAnswerAsPlainTextUntilClosed();
};

void TstWhois::transcriptTellsWhatHappened_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<Chunks>("chunks"); // each one shown before the next is sent
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("transcript");

    const auto row = [](const char* name, Server server, const Chunks& chunks, State state, const QString& transcript) {
        QTest::newRow(name) << server << chunks << state << transcript;
    };
    row("chunks cut through line ends and characters", Server::Closes,
        {"first\nCaf\xC3", "\xA9\r", "\n\xF0\x9F", "\x98\x80 \xC2\xA9\xF4\x8F", "\xBF\xBF"}, State::Ended,
        Whoising + u"first\r\nCafé\r\r\n😀 ©\U0010FFFF"_s + EndLine);
    // Overlong, surrogate and too high forms, a byte never in UTF-8, a character left incomplete.
    const QByteArray bad = "\xC0\xAF\xE0\x9F\xBF\xED\xA0\x80\xF4\x90\x80\x80 \xC3\xA9\xFF\0\x01 \xE2\x82"_ba;
    row("bytes that are no UTF-8 read as Latin-1", Server::Closes, {bad}, State::Ended,
        Whoising + QString::fromLatin1(bad.left(13)) + u'\u00E9' + QString::fromLatin1(bad.mid(15)) + EndLine);
    row("holds the line past the connect time-out", Server::Holds, {"NetRange: 10.0.0.0\n"}, State::Receiving,
        Whoising + u"NetRange: 10.0.0.0\r\n"_s);
    const QByteArray flood = QByteArray("0123456789abcd\n").repeated(8192);
    const QString capped = QString::fromLatin1(flood.left(AnswerCap)).replace(u'\n', u"\r\n"_s);
    row("answer past the cap", Server::Holds, {flood}, State::AnswerTooLong,
        Whoising + capped + u"\r\n*** Answer too long; the rest was not read."_s);
    row("no proxy selected", Server::NoSelection, {}, State::NoProxySelected, u"*** No proxy selected."_s);
    row("refused", Server::Refuses, {}, State::Failed, u"*** Cannot connect to whois server."_s);
    row("unaccepted", Server::NeverAccepts, {}, State::TimedOut, u"*** Connection to whois server timed out.\r\n"_s);
}

void TstWhois::transcriptTellsWhatHappened()
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
    // Nothing more comes once the lookup has ended, a late time-out included.
    (void)QTest::qWaitFor([&] { return session.transcript() != transcript; }, 2 * int(ConnectTimeout.count()));
    QCOMPARE(session.transcript(), transcript);
    QVERIFY(peer || !whois.hasPendingConnections());
}

void TstWhois::windowShowsTheAnswerAsPlainTextUntilClosed()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Form5 form(HostPort{u"127.0.0.1"_s, server.serverPort()}, [] { return std::optional<QString>(u"10.0.0.1"_s); });
    form.show();
    auto* text1 = form.findChild<TranscriptView*>(u"Text1"_s);
    auto* command1 = form.findChild<QPushButton*>(u"Command1"_s);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket* peer = server.nextPendingConnection();
    QTRY_COMPARE(text1->toPlainText(), u"*** Whoising 10.0.0.1...\n"_s);
    QVERIFY(text1->find(u"Whoising"_s, QTextDocument::FindBackward));
    QTest::keyClicks(text1, u"typed"_s);

    // The answer's CR LF, cut between its CR and its LF, reads CR CR LF; two CRs are two line ends.
    peer->write("OrgName: <script>alert(1)</script>\r");
    QTRY_VERIFY(text1->toPlainText().endsWith(u"</script>\n"_s));
    peer->write("\nComment: <b>bold</b>\0\r\r"_ba);
    QTRY_VERIFY(text1->toPlainText().endsWith(u"\u2400\n"_s));
    peer->write("x\n" + QByteArray("e\n").repeated(500));
    // Markup as it came, a picture for the NUL, and what the user selected still selected.
    const QString shown =
        u"*** Whoising 10.0.0.1...\nOrgName: <script>alert(1)</script>\nComment: <b>bold</b>\u2400\n\nx\n"_s
        + u"e\n"_s.repeated(500);
    QTRY_COMPARE(text1->toPlainText(), shown);
    QCOMPARE(text1->textCursor().selectedText(), u"Whoising"_s);

    // Closing the window while the server holds the line hangs up, without a word more.
    QTest::mouseClick(command1, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(text1->toPlainText(), shown);
}

QTEST_MAIN(TstWhois)
#include "tst_whois.moc"
