#include "PingCommand.h"
#include "ScriptedPlatform.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The ping command over a scripted system that sends nothing.
class TstPing final : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
};

void TstPing::verdict_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint32>("status"); // what the echo ends with
    QTest::addColumn<QString>("sentTo"); // empty: no echo may go out
    QTest::addColumn<QString>("statusText");
    QTest::newRow("alive") << u"192.0.2.10"_s << 0 << u"192.0.2.10"_s << u"Success"_s;
    QTest::newRow("timed out") << u"192.0.2.10"_s << 11010 << u"192.0.2.10"_s << u"Request Timed Out"_s;
    QTest::newRow("unknown status") << u"192.0.2.10"_s << 4711 << u"192.0.2.10"_s << u"Unknown Error"_s;
    QTest::newRow("high last part") << u"10.0.0.200"_s << 0 << u"10.0.0.200"_s << u"Success"_s;
    QTest::newRow("edges of the parts") << u"0.255.0.255"_s << 0 << u"0.255.0.255"_s << u"Success"_s;
    QTest::newRow("leading zero is decimal") << u"010.0.0.1"_s << 0 << u"10.0.0.1"_s << u"Success"_s;
    // Each would reach another host than the one named, or none.
    for (const QString& refused : {u"300.1.1.1"_s, u"1.2.3.256"_s, u"-1.0.0.0"_s, u"+1.2.3.4"_s, u"1.2.3"_s,
                                   u"1.2.3.4.5"_s, u"1..3.4"_s, u"1.2.3.4 "_s, u"1.2.3.\u0664"_s, QString()})
        QTest::addRow("refused '%s'", qPrintable(refused)) << refused << 0 << QString() << u"Bad Destination"_s;
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

QTEST_GUILESS_MAIN(TstPing)
#include "tst_ping.moc"
