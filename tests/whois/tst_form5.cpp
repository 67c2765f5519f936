#include "Form5.h"
#include "TranscriptView.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

class TstForm5 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheAnswerAsPlainTextUntilClosed();
};

void TstForm5::showsTheAnswerAsPlainTextUntilClosed()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Form5 form(HostPort{u"127.0.0.1"_s, server.serverPort()}, [] { return std::optional<QString>(u"10.0.0.1"_s); });
    form.show();
    auto* text1 = form.findChild<TranscriptView*>(u"Text1"_s);
    auto* command1 = form.findChild<QPushButton*>(u"Command1"_s);
    QVERIFY(text1 && command1);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket* peer = server.nextPendingConnection();
    QTRY_COMPARE(text1->toPlainText(), u"*** Whoising 10.0.0.1...\n"_s);
    QTextCursor selection(text1->document());
    selection.setPosition(4);
    selection.setPosition(12, QTextCursor::KeepAnchor);
    text1->setTextCursor(selection);
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

QTEST_MAIN(TstForm5)
#include "tst_form5.moc"
