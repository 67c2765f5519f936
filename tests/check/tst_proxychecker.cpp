#include "ClosedPort.h"
#include "FakeProxies.h"
#include "ProxyChecker.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Kind = FakeProxy::Kind;

// Each result as it is told: "index level protocol: reason".
void Listen(ProxyChecker& checker, QStringList& told)
{
    QObject::connect(&checker, &ProxyChecker::checked, &checker, [&told](qsizetype index, const ProbeResult& result) {
        told.append(u"%1 %2 %3: %4"_s.arg(QString::number(index), LevelName(result.level),
                                          result.protocol ? ProtocolName(*result.protocol) : u"-"_s, result.reason));
    });
}

QStringList Told(ProxyChecker& checker, const std::vector<ProxyRecord>& list)
{
    QStringList told;
    Listen(checker, told);
    QSignalSpy finished(&checker, &ProxyChecker::finished);
    checker.start(list);
    if (!finished.wait(30000))
        told.append(u"(not finished)"_s);
    return told;
}

ProxyRecord Record(const QString& line)
{
    auto parsed = ParseProxyLine(line.toUtf8());
    return std::get<ProxyRecord>(parsed);
}

} // namespace

class TstProxyChecker final : public QObject
{
    Q_OBJECT

private slots:
    void readsBothListFormats_data();
    void readsBothListFormats();
    void malformedLinesAreCountedAndSkipped();
    void verdictsAndLevels_data();
    void verdictsAndLevels();
    void resultsComeInListOrder();
    void stopTellsTheResultsSoFar();

private:
    FakeJudge m_judge;
};

void TstProxyChecker::readsBothListFormats_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("read"); // address, port and type, or the reason
    QTest::newRow("address and port") << "1.2.3.4:8080"_ba << u"1.2.3.4 8080 "_s;
    QTest::newRow("separator as typed") << "1.2.3.4 -> 8080"_ba << u"1.2.3.4 8080 "_s;
    QTest::newRow("host name") << "1proxy.example:3128"_ba << u"1proxy.example 3128 "_s;
    QTest::newRow("IPv6") << "[::1]:80"_ba << u"::1 80 "_s;
    QTest::newRow("five fields") << "1.2.3.4\t80\tSOCKS5\tItaly\t2 min ago"_ba << u"1.2.3.4 80 SOCKS5"_s;
    QTest::newRow("no port") << "1.2.3.4"_ba << u"not an address, a separator and a port"_s;
    QTest::newRow("port too big") << "1.2.3.4:65536"_ba << u"the port \"65536\" is not a number from 1 to 65535"_s;
    QTest::newRow("no IPv4") << "300.2.3.4:80"_ba << u"\"300.2.3.4\" is not an IP address"_s;
    QTest::newRow("three fields") << "a\tb\tc"_ba
                                  << u"3 tab-separated fields; a list line has five, or an address and a port"_s;
    QTest::newRow("escape sequence") << "1.2.3.4\t80\tHTTP\t\x1b[2J\tx"_ba
                                     << u"the line holds control characters or is not UTF-8"_s;
    QTest::newRow("8-bit CSI") << "1.2.3.4:80 \xc2\x9b"_ba << u"the line holds control characters or is not UTF-8"_s;
}

void TstProxyChecker::readsBothListFormats()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, read);
    const auto parsed = ParseProxyLine(line);
    const auto* record = std::get_if<ProxyRecord>(&parsed);
    QCOMPARE(record ? u"%1 %2 %3"_s.arg(record->address, QString::number(record->port), record->type)
                    : std::get<QString>(parsed),
             read);
}

void TstProxyChecker::malformedLinesAreCountedAndSkipped()
{
    QByteArray text = "1.1.1.1:80\r\n\r\nnot a proxy\n" + QByteArray(5000, 'x') + "\n2.2.2.2:81";
    QBuffer device(&text);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const ProxyList list = ReadProxyList(device);
    QCOMPARE(list.proxies, (std::vector{Record(u"1.1.1.1:80"_s), Record(u"2.2.2.2:81"_s)}));
    QCOMPARE(
        list.malformed,
        (std::vector<MalformedLine>{{3, u"not an address, a separator and a port"_s}, {4, u"4096 bytes or longer"_s}}));
}

void TstProxyChecker::verdictsAndLevels_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("expect"); // with a judge unless empty
    QTest::addColumn<QString>("result");
    QTest::newRow("HTTP") << Kind::HttpForwarding << QString() << QByteArray() << u"0 speaks HTTP: "_s;
    QTest::newRow("HTTP, judge") << Kind::HttpForwarding << u"HTTP"_s << "proxy works"_ba << u"0 works HTTP: "_s;
    QTest::newRow("HTTP, text missing") << Kind::HttpForwarding << QString() << "ad-free"_ba
                                        << u"0 speaks HTTP: the judge's page lacks the expected text"_s;
    QTest::newRow("HTTP 403") << Kind::HttpForbidden << QString() << QByteArray() << u"0 speaks HTTP: "_s;
    QTest::newRow("HTTP 403, judge") << Kind::HttpForbidden << u"HTTPS"_s << "works"_ba
                                     << u"0 speaks HTTP: status 403 instead of the judge's page"_s;
    QTest::newRow("SOCKS5") << Kind::Socks5 << QString() << QByteArray() << u"0 speaks SOCKS5: "_s;
    QTest::newRow("SOCKS5, judge") << Kind::Socks5 << u"SOCKS5"_s << "works"_ba << u"0 works SOCKS5: "_s;
    QTest::newRow("SOCKS4") << Kind::Socks4 << QString() << QByteArray() << u"0 speaks SOCKS4: "_s;
    QTest::newRow("SOCKS4, judge") << Kind::Socks4 << QString() << "works"_ba << u"0 works SOCKS4: "_s;
    QTest::newRow("SOCKS5 typed SOCKS4") << Kind::Socks5 << u"SOCKS4"_s << QByteArray()
                                         << u"0 reachable -: no SOCKS4 answer"_s;
    QTest::newRow("never answers") << Kind::Silent << QString() << QByteArray() << u"0 reachable -: timed out"_s;
    QTest::newRow("garbage") << Kind::Garbage << QString() << QByteArray()
                             << u"0 reachable -: no proxy protocol answered"_s;
}

void TstProxyChecker::verdictsAndLevels()
{
    QFETCH(Kind, kind);
    QFETCH(QString, type);
    QFETCH(QByteArray, expect);
    QFETCH(QString, result);
    const FakeProxy proxy(kind, u"127.0.0.2"_s, m_judge.serverPort());
    // Ample for a fake in this process to answer, even under a sanitizer.
    ProbeSettings settings{std::chrono::milliseconds(1500), {}};
    if (!expect.isEmpty())
        settings.judge = JudgeAt(QUrl(m_judge.url()), expect);
    ProxyChecker checker(settings, 4);
    QCOMPARE(Told(checker, {Record(proxy.line(u"\t"_s) + u"\t"_s + type + u"\tItaly\ttoday"_s)}), QStringList{result});
}

void TstProxyChecker::resultsComeInListOrder()
{
    const FakeProxy silent(Kind::Silent, u"127.0.0.3"_s, m_judge.serverPort());
    const FakeProxy http(Kind::HttpForwarding, u"127.0.0.4"_s, m_judge.serverPort());
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    ProxyChecker checker(ProbeSettings{std::chrono::milliseconds(1500), {}}, 2);
    QCOMPARE(Told(checker, {Record(silent.line()), Record(closed), Record(http.line()), Record(http.line())}),
             (QStringList{u"0 reachable -: timed out"_s, u"1 none -: Connection refused"_s, u"2 speaks HTTP: "_s,
                          u"3 speaks HTTP: "_s}));
}

// The proxy in progress has no result; the ones after it that have come are still told.
void TstProxyChecker::stopTellsTheResultsSoFar()
{
    const FakeProxy silent(Kind::Silent, u"127.0.0.5"_s, m_judge.serverPort());
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    const std::vector list{Record(silent.line()), Record(closed), Record(silent.line())};
    ProxyChecker checker(ProbeSettings{std::chrono::milliseconds(30000), {}}, 2);
    QStringList told;
    Listen(checker, told);
    QSignalSpy finished(&checker, &ProxyChecker::finished);
    QSignalSpy accepted(&silent, &QTcpServer::newConnection);
    checker.start(list);
    QTRY_COMPARE(accepted.count(), 2); // the third proxy started: the second has its result
    checker.stop();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(told, QStringList{u"1 none -: Connection refused"_s});
}

QTEST_GUILESS_MAIN(TstProxyChecker)
#include "tst_proxychecker.moc"
