#include "PingCommand.h"
#include "RecordingPrompter.h"
#include "ScriptedPlatform.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Messages = QList<RecordingPrompter::Message>;

namespace {

RecordingPrompter::Message Dead(const QString& lines)
{
    return {lines, MessageStyle::Stop, u"IP Is Dead"_s};
}

RecordingPrompter::Message Alive(const QString& lines)
{
    return {lines, MessageStyle::Information, u"IP Is Alive"_s};
}

// The command over a scripted system; what it decides is told as the window would tell it.
struct Fixture : ScriptedPlatform
{
    explicit Fixture(QString address)
        : address(std::move(address))
    {
    }

    void ping()
    {
        const PingVerdict verdict = command.ping(address);
        prompter.showMessage(verdict.message, verdict.style, verdict.title);
    }

    QString address;
    PingCommand command{{icmp, sockets, prompter}};
};

} // namespace

class TstPingCommand final : public QObject
{
    Q_OBJECT

private slots:
    void tellsTheVerdict_data();
    void tellsTheVerdict();
    void refusesAnAddressItWouldNotPingAsShown_data();
    void refusesAnAddressItWouldNotPingAsShown();
    void socketLibraryMessagesComeBeforeTheVerdict();
    void eachPingStartsFromAnEmptyRecord();
};

void TstPingCommand::tellsTheVerdict_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<quint32>("replies");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<std::optional<qint32>>("roundTripTime");
    QTest::addColumn<RecordingPrompter::Message>("verdict");

    QTest::newRow("alive") << u"192.0.2.10"_s << 1u << 0 << std::optional<qint32>(120)
                           << Alive(u"The IP 192.0.2.10 Is Alive.\r\nDelay: 120 ms.\r\nStatus: Success"_s);
    QTest::newRow("alive within the millisecond")
        << u"127.0.0.1"_s << 1u << 0 << std::optional<qint32>(0)
        << Alive(u"The IP 127.0.0.1 Is Alive.\r\nDelay: 0 ms.\r\nStatus: Success"_s);
    QTest::newRow("timed out") << u"192.0.2.10"_s << 0u << 11010 << std::optional<qint32>()
                               << Dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Request Timed Out"_s);
    QTest::newRow("ping timeout 200") << u"192.0.2.10"_s << 0u << 200 << std::optional<qint32>()
                                      << Dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Ping Timeout"_s);
    QTest::newRow("unknown status") << u"192.0.2.10"_s << 0u << 4711 << std::optional<qint32>()
                                    << Dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Unknown Error"_s);
    QTest::newRow("dead with a delay the echo wrote")
        << u"192.0.2.10"_s << 0u << 11003 << std::optional<qint32>(7)
        << Dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 7 ms.\r\nStatus: Destination Host Unreachable"_s);
    QTest::newRow("address shown as the table holds it")
        << u"010.000.000.001"_s << 1u << 0 << std::optional<qint32>(3)
        << Alive(u"The IP 010.000.000.001 Is Alive.\r\nDelay: 3 ms.\r\nStatus: Success"_s);
}

void TstPingCommand::tellsTheVerdict()
{
    QFETCH(QString, address);
    QFETCH(quint32, replies);
    QFETCH(qint32, status);
    QFETCH(std::optional<qint32>, roundTripTime);
    QFETCH(RecordingPrompter::Message, verdict);

    Fixture fixture(address);
    fixture.icmp.replies = replies;
    fixture.icmp.status = status;
    fixture.icmp.roundTripTime = roundTripTime;

    fixture.ping();

    QCOMPARE(fixture.prompter.messages, Messages{verdict});
    // One echo without payload, for half a second, to the address the row holds.
    QCOMPARE(fixture.icmp.echoes.size(), 1);
    const ScriptedIcmpLibrary::Echo& echo = fixture.icmp.echoes.constFirst();
    QCOMPARE(echo.destination, AddressToLong(address).value());
    QCOMPARE(echo.data, QByteArray());
    QCOMPARE(echo.timeoutMs, 500);
    QCOMPARE(echo.bufferSize, std::size_t(278));
}

void TstPingCommand::refusesAnAddressItWouldNotPingAsShown_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("three parts") << u"1.2.3"_s;
    QTest::newRow("one part") << u"1234"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("part above 255") << u"300.1.1.1"_s;
    QTest::newRow("256") << u"1.2.3.256"_s;
    QTest::newRow("fifth part") << u"1.2.3.4.5"_s;
    QTest::newRow("empty part") << u"1..3.4"_s;
    QTest::newRow("trailing dot") << u"1.2.3.4."_s;
    QTest::newRow("not a number") << u"1.2.x.4"_s;
    QTest::newRow("negative part") << u"-1.2.3.4"_s;
    QTest::newRow("plus sign") << u"+1.2.3.4"_s;
    QTest::newRow("blank around it") << u" 1.2.3.4"_s;
    QTest::newRow("non-ASCII digit") << u"1.2.3.\u0664"_s;
    QTest::newRow("host name") << u"proxy.example.org"_s;
    QTest::newRow("control character") << u"1.2.3.4\u0000"_s;
}

void TstPingCommand::refusesAnAddressItWouldNotPingAsShown()
{
    QFETCH(QString, address);

    Fixture fixture(address);

    fixture.ping();

    QVERIFY(fixture.icmp.echoes.isEmpty());
    QCOMPARE(fixture.prompter.messages,
             Messages{Dead(u"The IP "_s + address + u" Is Dead.\r\nDelay: 0 ms.\r\nStatus: Bad Destination"_s)});
}

void TstPingCommand::socketLibraryMessagesComeBeforeTheVerdict()
{
    Fixture fixture(u"192.0.2.10"_s);
    fixture.sockets.start.version = 0x0001;

    fixture.ping();

    QCOMPARE(fixture.prompter.messages.size(), 2);
    QCOMPARE(fixture.prompter.messages.constFirst().style, MessageStyle::Exclamation);
    QVERIFY(fixture.prompter.messages.constFirst().text.endsWith(u"versión Windows Sockets 1.0"_s));
    QCOMPARE(fixture.prompter.messages.constLast().title, u"IP Is Alive"_s);
}

void TstPingCommand::eachPingStartsFromAnEmptyRecord()
{
    Fixture fixture(u"192.0.2.10"_s);
    fixture.ping();
    fixture.icmp.replies = 0;
    fixture.icmp.status = 11010;
    fixture.icmp.roundTripTime.reset();

    fixture.ping();

    QCOMPARE(fixture.prompter.messages.constLast(),
             Dead(u"The IP 192.0.2.10 Is Dead.\r\nDelay: 0 ms.\r\nStatus: Request Timed Out"_s));
}

QTEST_GUILESS_MAIN(TstPingCommand)
#include "tst_pingcommand.moc"
