#include "ClosedPort.h"
#include "FakeProxies.h"
#include "ProxyChecker.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Kind = FakeProxy::Kind;

// Checks the lines; each result as told, "index level protocol: reason". The test may act meanwhile.
static QStringList Told(ProxyChecker& checker, const QStringList& lines,
                        const std::function<void(const QStringList&)>& meanwhile = {})
{
    std::vector<ProxyRecord> list;
    for (const QString& line : lines)
        list.push_back(std::get<ProxyRecord>(ParseProxyLine(line.toUtf8())));
    QStringList told;
    QObject::connect(&checker, &ProxyChecker::checked, &checker, [&told](qsizetype index, const ProbeResult& result) {
        told.append(u"%1 %2 %3: %4"_s.arg(QString::number(index), LevelName(result.level),
                                          result.protocol ? ProtocolName(*result.protocol) : u"-"_s, result.reason));
    });
    QSignalSpy finished(&checker, &ProxyChecker::finished);
    checker.start(list);
    if (meanwhile)
        meanwhile(told);
    if (finished.isEmpty() && !finished.wait(30000))
        told.append(u"(not finished)"_s);
    return told;
}

class TstProxyChecker final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsBothListFormats_data();
    void readsBothListFormats();
    void levelsPerProxyType_data();
    void levelsPerProxyType();
    void atMostJobsAtOnceResultsInListOrder();

private:
    FakeJudge m_judge;
    FakeProxy m_silent{Kind::Silent, u"127.0.0.3"_s, m_judge.serverPort()};
    FakeProxy m_http{Kind::HttpForwarding, u"127.0.0.4"_s, m_judge.serverPort()};
};

void TstProxyChecker::readsBothListFormats_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("read"); // the proxies, then each malformed line's number and reason
    const auto row = [](const char* name, const QByteArray& list, const QString& read) {
        QTest::newRow(name) << list << read;
    };
    row("both formats, blank lines skipped",
        "10.0.0.1:8080\r\n\n [::1] -> 3128\nproxy.example:80\n10.0.0.2\t81\tSOCKS5\tIT\tnow\n10.0.0.3\t82\n",
        u"10.0.0.1 8080 | ::1 3128 | proxy.example 80 | 10.0.0.2 81 SOCKS5 | 10.0.0.3 82"_s);
    row("ports", "10.0.0.1:0\n10.0.0.1:65536\n10.0.0.1:65535",
        u"10.0.0.1 65535 | 1: the port \"0\" is not a number from 1 to 65535 | "
        u"2: the port \"65536\" is not a number from 1 to 65535"_s);
    row("addresses", "300.0.0.1:80\n[::1:80\n10.0.0.1\n10.0.0.1\t80\tHTTP\n",
        u"1: \"300.0.0.1\" is not an IP address | 2: not an address, a separator and a port | "
        u"3: not an address, a separator and a port | 4: 3 tab-separated fields; a list line has five, or an "
        u"address and a port"_s);
    // A line that would drive the terminal, and one over three reads long: the next line is line 3.
    row("control characters, an endless line", "10.0.0.1:80\x1b[2J\n" + QByteArray(3 * 4096, 'x') + "\n10.0.0.3:80\n",
        u"10.0.0.3 80 | 1: the line holds control characters or is not UTF-8 | 2: 4096 bytes or longer"_s);
}

void TstProxyChecker::readsBothListFormats()
{
    QFETCH(QByteArray, list);
    QFETCH(QString, read);
    QBuffer device(&list);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const ProxyList parsed = ReadProxyList(device);
    QStringList told;
    for (const ProxyRecord& proxy : parsed.proxies)
        told.append(u"%1 %2 %3"_s.arg(proxy.address, QString::number(proxy.port), proxy.type).trimmed());
    for (const MalformedLine& line : parsed.malformed)
        told.append(QString::number(line.number) + u": "_s + line.reason);
    QCOMPARE(told.join(u" | "_s), read);
}

void TstProxyChecker::levelsPerProxyType_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("expect"); // what the judge's page must hold; no judge without
    QTest::addColumn<QString>("result");
    QTest::addColumn<QByteArray>("heard"); // 'G' of an HTTP request, the version of a SOCKS one

    QTest::newRow("HTTP, judge") << Kind::HttpForwarding << u"HTTP"_s << "works"_ba << u"0 works HTTP: "_s << "G"_ba;
    QTest::newRow("HTTP, text missing") << Kind::HttpForwarding << QString() << "ad-free"_ba
                                        << u"0 speaks HTTP: the judge's page lacks the expected text"_s << "G"_ba;
    QTest::newRow("HTTP 403, judge") << Kind::HttpForbidden << u"HTTPS"_s << "works"_ba
                                     << u"0 speaks HTTP: status 403 instead of the judge's page"_s << "G"_ba;
    QTest::newRow("SOCKS5, judge") << Kind::Socks5 << u"socks5"_s << "works"_ba << u"0 works SOCKS5: "_s << "\5\5"_ba;
    QTest::newRow("SOCKS5 bound by name, judge")
        << Kind::Socks5ByName << u"SOCKS5"_s << "works"_ba << u"0 works SOCKS5: "_s << "\5\5"_ba;
    QTest::newRow("SOCKS5 bound to IPv6, judge")
        << Kind::Socks5Ipv6 << u"SOCKS5"_s << "works"_ba << u"0 works SOCKS5: "_s << "\5\5"_ba;
    QTest::newRow("SOCKS4") << Kind::Socks4 << u"SOCKS4"_s << QByteArray() << u"0 speaks SOCKS4: "_s << "\4"_ba;
    QTest::newRow("SOCKS4, judge") << Kind::Socks4 << QString() << "works"_ba << u"0 works SOCKS4: "_s << "G\5\4"_ba;
    QTest::newRow("SOCKS5 typed SOCKS4") << Kind::Socks5 << u"SOCKS4"_s << QByteArray()
                                         << u"0 reachable -: no SOCKS4 answer"_s << "\4"_ba;
    QTest::newRow("garbage") << Kind::Garbage << QString() << QByteArray()
                             << u"0 reachable -: no proxy protocol answered"_s << "G\5\4"_ba;
}

void TstProxyChecker::levelsPerProxyType()
{
    QFETCH(Kind, kind);
    QFETCH(QString, type);
    QFETCH(QByteArray, expect);
    QFETCH(QString, result);
    QFETCH(QByteArray, heard);
    const FakeProxy proxy(kind, u"127.0.0.2"_s, m_judge.serverPort());
    // 1.5 s is ample for a fake in this process to answer, even under a sanitizer.
    const QUrl judge(m_judge.url() + (kind == Kind::Socks4 ? u"?later"_s : QString())); // its page in two pieces
    ProxyChecker checker({1500ms, expect.isEmpty() ? std::nullopt : JudgeAt(judge, expect)}, 4);
    QCOMPARE(Told(checker, {proxy.line(u"\t"_s) + u'\t' + type + u"\tItaly\ttoday"_s}), QStringList{result});
    QCOMPARE(proxy.heard(), heard);
}

// The refused and the HTTP proxy free their slot at once, the silent ones hold both; results wait their turn.
void TstProxyChecker::atMostJobsAtOnceResultsInListOrder()
{
    ProxyChecker checker(ProbeSettings{2000ms, {}}, 2);
    QSignalSpy accepted(&m_silent, &QTcpServer::newConnection);
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    const QStringList told = Told(checker, {m_silent.line(), closed, m_http.line(), m_silent.line(), m_silent.line()},
                                  [&](const QStringList& toldSoFar) {
                                      QTRY_COMPARE(accepted.count(), 2);
                                      QVERIFY(!QTest::qWaitFor([&] { return accepted.count() > 2; }, 300));
                                      QCOMPARE(toldSoFar, QStringList());
                                  });
    QCOMPARE(told,
             (QStringList{u"0 reachable -: timed out"_s, u"1 none -: Connection refused"_s, u"2 speaks HTTP: "_s,
                          u"3 reachable -: timed out"_s, u"4 reachable -: timed out"_s}));
}

QTEST_GUILESS_MAIN(TstProxyChecker)
#include "tst_proxychecker.moc"
