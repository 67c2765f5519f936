#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "PingCommand.h"
#include "ProxyTable.h"
#include "RecordingPrompter.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The whole command on the real system, with an echo to this machine's loopback address only.
class TstPingLoopback final : public QObject
{
    Q_OBJECT

private slots:
    void loopbackIsAlive();
};

void TstPingLoopback::loopbackIsAlive()
{
    ProxyTable table;
    table.append({u"127.0.0.1"_s, u"3128"_s, u"transparent"_s, u"Local"_s, u"now"_s});
    RecordingPrompter prompter;
    LinuxIcmpLibrary icmp(prompter);
    LinuxSocketLibrary sockets;
    PingCommand command(table, prompter, icmp, sockets);

    command.Command6_Click();

    if (prompter.messages.size() == 2 && prompter.messages.constFirst().style == MessageStyle::Exclamation)
        QSKIP("this system allows no ICMP socket to this process (net.ipv4.ping_group_range, CAP_NET_RAW)");
    QCOMPARE(prompter.messages.size(), 1);
    const RecordingPrompter::Message& verdict = prompter.messages.constFirst();
    QCOMPARE(verdict.title, u"IP Is Alive"_s);
    QCOMPARE(verdict.style, MessageStyle::Information);
    static const QRegularExpression lines(
        u"\\AThe IP 127\\.0\\.0\\.1 Is Alive\\.\r\nDelay: \\d+ ms\\.\r\nStatus: Success\\z"_s);
    QVERIFY2(lines.match(verdict.text).hasMatch(), qPrintable(verdict.text));
}

QTEST_GUILESS_MAIN(TstPingLoopback)
#include "tst_pingloopback.moc"
