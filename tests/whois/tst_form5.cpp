#include "FakeWhoisServer.h"
#include "Form5.h"
#include "TranscriptView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

WhoisSession::AddressSource Selected(const QString& address)
{
    return [address] { return std::optional<QString>(address); };
}

} // namespace

class TstForm5 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lookupShowsTheExactTranscript();
    void selectionStaysWhileTheAnswerArrives();
    void closeWhileConnectingClosesTheSocket();
    void lineEndsSplitBetweenPieces();
};

void TstForm5::lookupShowsTheExactTranscript()
{
    FakeWhoisServer server;
    Form5 form(server.address(), Selected(u"10.0.0.1"_s));
    form.show();
    auto* text1 = form.findChild<TranscriptView*>(u"Text1"_s);
    QVERIFY(text1);
    QCOMPARE(form.windowTitle(), u"Whois Client"_s);
    QVERIFY(text1->isReadOnly());
    QVERIFY(text1->textInteractionFlags().testFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));

    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(server.received(peer), QByteArray("10.0.0.1\r\n"));
    peer->write("OrgName: <script>alert(1)</script>\n");
    QTRY_VERIFY(form.session().transcript().contains(u"script"_s));
    peer->write(QByteArray("Comment: <b>bold</b>\0\r\n", 23));
    peer->disconnectFromHost();
    QTRY_COMPARE(form.session().state(), WhoisSession::State::Ended);

    QCOMPARE(form.session().transcript(),
             u"*** Whoising 10.0.0.1...\r\nOrgName: <script>alert(1)</script>\r\n"
             u"Comment: <b>bold</b>\0\r\r\n\r\n*** End of whois."_s);
    // The view shows one line end for CR CR LF, as for CR LF, and a picture for the NUL.
    QTRY_COMPARE(text1->toPlainText(),
                 u"*** Whoising 10.0.0.1...\nOrgName: <script>alert(1)</script>\n"
                 u"Comment: <b>bold</b>\u2400\n\n*** End of whois."_s);
    QVERIFY(form.isVisible());
}

void TstForm5::selectionStaysWhileTheAnswerArrives()
{
    FakeWhoisServer server;
    Form5 form(server.address(), Selected(u"10.0.0.1"_s));
    form.show();
    auto* text1 = form.findChild<TranscriptView*>(u"Text1"_s);
    QVERIFY(text1);
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(text1->toPlainText(), u"*** Whoising 10.0.0.1...\n"_s);

    QTextCursor selection(text1->document());
    selection.setPosition(4);
    selection.setPosition(12, QTextCursor::KeepAnchor);
    text1->setTextCursor(selection);
    peer->write("NetRange: 10.0.0.0\n");
    QTRY_VERIFY(text1->toPlainText().endsWith(u"NetRange: 10.0.0.0\n"_s));
    QCOMPARE(text1->textCursor().selectedText(), u"Whoising"_s);
}

void TstForm5::closeWhileConnectingClosesTheSocket()
{
    FakeWhoisServer server;
    Form5 form(server.address(), Selected(u"10.0.0.1"_s));
    form.show();
    auto* command1 = form.findChild<QPushButton*>(u"Command1"_s);
    QVERIFY(command1);
    QCOMPARE(command1->text(), u"&Close"_s);
    QCOMPARE(form.session().state(), WhoisSession::State::Connecting);

    QTest::mouseClick(command1, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(form.session().state(), WhoisSession::State::Closed);
    QTcpSocket* peer = server.waitForPeer();
    QVERIFY(peer);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server.received(peer), QByteArray());
    QCOMPARE(form.session().transcript(), QString());
    QCOMPARE(form.findChild<TranscriptView*>(u"Text1"_s)->toPlainText(), QString());
}

void TstForm5::lineEndsSplitBetweenPieces()
{
    TranscriptView view;
    for (const QString& piece :
         {u"a\r"_s, u"\r"_s, u"\nb\r\r"_s, u"\r\nc\r"_s, u"\r\rd\n\n"_s, u"e\r\n"_s.repeated(500)})
        view.appendPiece(piece);
    view.showPending();
    view.selectAll();
    view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), u"a\nb\n\nc\n\n\nd\n\n"_s + u"e\n"_s.repeated(500));
}

QTEST_MAIN(TstForm5)
#include "tst_form5.moc"
