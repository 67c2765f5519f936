#include "ClosedPort.h"
#include "JudgeServer.h"
#include "ProxyChecker.h"
#include "ScriptedProxy.h"
#include "TunnelHandshake.h"

#include <QBuffer>
#include <QDir>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Kind = ScriptedProxy::Kind;
using State = TunnelHandshake::State;

namespace {

// A proxy's answer to a handshake, read in pieces of the size given: "state (reason), speaks or
// not: what was sent after the opening | what came through the tunnel ahead".
QString Handshake(ProxyProtocol protocol, const TunnelTarget& target, const std::optional<ProxyLogin>& login,
                  const QByteArray& answer, qsizetype piece)
{
    TunnelHandshake handshake(protocol, target, login);
    QByteArray sent;
    qsizetype read = 0;
    for (; read < answer.size() && handshake.state() == State::Incomplete; read += piece) {
        handshake.read(answer.mid(read, piece));
        sent += handshake.takeToSend();
    }
    const QByteArray through =
        handshake.state() == State::Open ? handshake.takeRest() + answer.mid(read) : QByteArray();
    const QStringList states{u"incomplete"_s, u"open"_s, u"refused"_s, u"wants a login"_s, u"not this protocol"_s};
    const QString reason = handshake.reason().isEmpty() ? QString() : u" ("_s + handshake.reason() + u')';
    return u"%1%2%3: %4 | %5"_s.arg(states.at(int(handshake.state())), reason,
                                    handshake.speaks() ? u", speaks"_s : u""_s, QString::fromLatin1(sent.toHex(' ')),
                                    QString::fromLatin1(through));
}

// Each result as told: "index level protocol anonymity exit: reason".
QStringList Check(ProxyChecker& checker, const QStringList& lines, QString* ending = nullptr)
{
    std::vector<ProxyRecord> list;
    for (const QString& line : lines)
        list.push_back(std::get<ProxyRecord>(ParseProxyLine(line.toUtf8())));
    QStringList told;
    const QMetaObject::Connection telling = QObject::connect(
        &checker, &ProxyChecker::checked, &checker, [&told](qsizetype index, const ProbeResult& result) {
            told.append(u"%1 %2 %3 %4 %5: %6"_s.arg(QString::number(index), LevelName(result.level),
                                                    result.protocol ? ProtocolName(*result.protocol) : u"-"_s,
                                                    result.anonymity ? AnonymityName(*result.anonymity) : u"-"_s,
                                                    result.exitAddress.isEmpty() ? u"-"_s : result.exitAddress,
                                                    result.reason));
        });
    QSignalSpy finished(&checker, &ProxyChecker::finished);
    checker.start(list);
    if (!finished.wait(30000))
        told.append(u"(not finished)"_s);
    else if (ending)
        *ending = finished.first().at(1).toString();
    QObject::disconnect(telling);
    told.sort();
    return told;
}

} // namespace

class TstProxyCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsListLines_data();
    void readsListLines();
    void opensTunnels_data();
    void opensTunnels();
    void judgesWhatComesBack_data();
    void judgesWhatComesBack();
    void proxiesThatResolveAreGivenTheJudgesName();
    void stopsWhenTheJudgeFails();
    void atMostJobsAtOnce();
    void aShortageHereIsNoVerdict_data();
    void aShortageHereIsNoVerdict();

private:
    JudgeServer m_judge;
};

void TstProxyCheck::initTestCase()
{
    QVERIFY(m_judge.listen(QHostAddress::LocalHost, 0));
}

void TstProxyCheck::readsListLines_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("read"); // the proxies, then each malformed line's number and reason
    const auto row = [](const char* name, const QByteArray& list, const QString& read) {
        QTest::newRow(name) << list << read;
    };
    row("both formats, blank lines skipped",
        "10.0.0.1:8080\r\n\n [::1] -> 3128\nproxy.example:80\n10.0.0.2\t81\tSOCKS5\tIT\tnow\n10.0.0.3\t82\n",
        u"10.0.0.1 8080 | ::1 3128 | proxy.example 80 | 10.0.0.2 81 SOCKS5 | 10.0.0.3 82"_s);
    row("schemes and logins, percent-encoded",
        "socks5h://u%3A1:p%40ss@[::1]:1080/\nHTTPS://10.0.0.1:443\nuser:pass@proxy.example:8080\n10.0.0.3@8080\n",
        u"::1 1080 SOCKS5H u:1 p@ss | 10.0.0.1 443 HTTPS | proxy.example 8080  user pass | 10.0.0.3 8080"_s);
    row("unknown scheme, login without port", "ftp://10.0.0.1:21\nsocks4://user:pw@10.0.0.1\n",
        u"1: the scheme \"ftp\" is not one of http, https, socks4, socks4a, socks5, socks5h | "
        u"2: not a host and a port after the scheme or the login"_s);
    row("ports", "10.0.0.1:0\n10.0.0.1:65536\n10.0.0.1:65535",
        u"10.0.0.1 65535 | 1: the port \"0\" is not a number from 1 to 65535 | "
        u"2: the port \"65536\" is not a number from 1 to 65535"_s);
    row("addresses", "300.0.0.1:80\n[::1:80\n10.0.0.1\n[1] -> 3128\n10.0.0.1\t80\tHTTP\n",
        u"1: \"300.0.0.1\" is not an IP address | 2: not an address, a separator and a port | "
        u"3: not an address, a separator and a port | 4: \"1\" is not an IP address | "
        u"5: 3 tab-separated fields; a list line has five, or an address and a port"_s);
    // A line that would drive the terminal, and one over three reads long: the next line is line 3.
    row("control characters, an endless line", "10.0.0.1:80\x1b[2J\n" + QByteArray(3 * 4096, 'x') + "\n10.0.0.3:80\n",
        u"10.0.0.3 80 | 1: the line holds control characters or is not UTF-8 | 2: 4096 bytes or longer"_s);
}

void TstProxyCheck::readsListLines()
{
    QFETCH(QByteArray, list);
    QFETCH(QString, read);
    QBuffer device(&list);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const ProxyList parsed = ReadProxyList(device);
    QStringList told;
    for (const ProxyRecord& proxy : parsed.proxies) {
        const QString login =
            proxy.login ? QString::fromUtf8(proxy.login->user + ' ' + proxy.login->password) : QString();
        told.append(u"%1 %2 %3 %4"_s.arg(proxy.address, QString::number(proxy.port), proxy.type, login).trimmed());
    }
    for (const MalformedLine& line : parsed.malformed)
        told.append(QString::number(line.number) + u": "_s + line.reason);
    QCOMPARE(told.join(u" | "_s), read);
}

void TstProxyCheck::opensTunnels_data()
{
    QTest::addColumn<ProxyProtocol>("protocol");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("login"); // user:secret
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char* name, ProxyProtocol protocol, const QString& target, bool login,
                        const QByteArray& answer, const QString& outcome) {
        QTest::newRow(name) << protocol << target << login << answer << outcome;
    };
    const ProxyProtocol socks5 = ProxyProtocol::Socks5;
    const QByteArray connectV4("\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50", 10);
    // The bound address in the reply comes in three kinds: a reply read one byte too short or too
    // long leaves the tunnel's first bytes wrong.
    row("SOCKS5, bound to an IPv4 address", socks5, u"10.1.2.3"_s, false,
        QByteArray("\x05\x00\x05\x00\x00\x01\x7f\x00\x00\x01\x04\x38", 12) + "HTTP",
        u"open, speaks: 05 01 00 01 0a 01 02 03 00 50 | HTTP"_s);
    row("SOCKS5, bound to a host name", socks5, u"judge.example"_s, false,
        QByteArray("\x05\x00\x05\x00\x00\x03\x05proxy\x04\x38", 14) + "HTTP",
        u"open, speaks: 05 01 00 03 0d 6a 75 64 67 65 2e 65 78 61 6d 70 6c 65 00 50 | HTTP"_s);
    row("SOCKS5, bound to an IPv6 address", socks5, u"::1"_s, false,
        QByteArray("\x05\x00\x05\x00\x00\x04", 6) + QByteArray(16, '\x01') + "\x04\x38HTTP",
        u"open, speaks: 05 01 00 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 50 | HTTP"_s);
    row("SOCKS5 login taken", socks5, u"127.0.0.1"_s, true,
        QByteArray("\x05\x02\x01\x00\x05\x00\x00\x01\0\0\0\0\0\0", 14),
        u"open, speaks: 01 04 75 73 65 72 06 73 65 63 72 65 74 "_s + QString::fromLatin1(connectV4.toHex(' '))
            + u" | "_s);
    row("SOCKS5 login refused", socks5, u"127.0.0.1"_s, true, QByteArray("\x05\x02\x01\x01", 4),
        u"wants a login (the SOCKS5 proxy refused the login), speaks: 01 04 75 73 65 72 06 73 65 63 72 65 74 | "_s);
    row("SOCKS5 login wanted", socks5, u"127.0.0.1"_s, false, QByteArray("\x05\x02", 2),
        u"wants a login (the SOCKS5 proxy wants a login), speaks:  | "_s);
    row("SOCKS5 no method taken", socks5, u"127.0.0.1"_s, false, QByteArray("\x05\xff", 2),
        u"refused (the SOCKS5 proxy accepts no client without a login), speaks:  | "_s);
    row("SOCKS5 refused with a code past the known ones", socks5, u"127.0.0.1"_s, false,
        QByteArray("\x05\x00\x05\x09\x00\x01\x7f\0\0\x01\0\0", 12),
        u"refused (the SOCKS5 proxy could not connect to the target: unknown code (code 9)), speaks: "_s
            + QString::fromLatin1(connectV4.toHex(' ')) + u" | "_s);
    row("SOCKS4 asked a SOCKS5", ProxyProtocol::Socks4, u"127.0.0.1"_s, false, QByteArray("\x05\xff", 2),
        u"not this protocol (no SOCKS4 answer):  | "_s);
    row("SOCKS4 granted", ProxyProtocol::Socks4, u"127.0.0.1"_s, false, QByteArray("\x00\x5a\0\0\0\0\0\0", 8) + "HTTP",
        u"open, speaks:  | HTTP"_s);
    row("SOCKS4 refused the user id", ProxyProtocol::Socks4, u"127.0.0.1"_s, true,
        QByteArray("\x00\x5d\0\0\0\0\0\0", 8), u"wants a login (the SOCKS4 proxy refused the user id), speaks:  | "_s);
    row("CONNECT taken", ProxyProtocol::HttpConnect, u"127.0.0.1"_s, false,
        "HTTP/1.1 200 Connection established\r\nX: y\r\n\r\nHTTP", u"open, speaks:  | HTTP"_s);
    row("CONNECT wants a login", ProxyProtocol::HttpConnect, u"127.0.0.1"_s, false,
        "HTTP/1.1 407 Login\r\nContent-Length: 0\r\n\r\n",
        u"wants a login (the HTTP proxy wants a login), speaks:  | "_s);
    row("CONNECT refused", ProxyProtocol::HttpConnect, u"127.0.0.1"_s, false, "HTTP/1.1 405 Not Allowed\r\n\r\n",
        u"refused (status 405 instead of a tunnel), speaks:  | "_s);
    row("CONNECT asked a SOCKS proxy", ProxyProtocol::HttpConnect, u"127.0.0.1"_s, false, QByteArray("\x05\x00", 2),
        u"not this protocol (no HTTP answer):  | "_s);
}

void TstProxyCheck::opensTunnels()
{
    QFETCH(ProxyProtocol, protocol);
    QFETCH(QString, target);
    QFETCH(bool, login);
    QFETCH(QByteArray, answer);
    QFETCH(QString, outcome);
    const std::optional<ProxyLogin> user = login ? std::optional(ProxyLogin{"user", "secret"}) : std::nullopt;
    QCOMPARE(Handshake(protocol, {target, 80}, user, answer, 1), outcome);
    // A reply and the tunnel's first bytes may come in one piece.
    QCOMPARE(Handshake(protocol, {target, 80}, user, answer, answer.size()), outcome);
}

void TstProxyCheck::judgesWhatComesBack_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("line"); // %1 the proxy's address and port
    QTest::addColumn<QByteArray>("expect"); // "-": no judge
    QTest::addColumn<QString>("result");
    const auto row = [](const char* name, Kind kind, const QString& line, const QString& result,
                        const QByteArray& expect = {}) { QTest::newRow(name) << kind << line << expect << result; };
    // The proxies listen on 127.0.0.2 and go on from 127.0.0.3; the checker is 127.0.0.1 to the judge.
    row("relay", Kind::Relay, u"%1"_s, u"0 works HTTP elite 127.0.0.3: "_s);
    row("relay adding Via", Kind::RelayVia, u"%1"_s, u"0 works HTTP anonymous 127.0.0.3: "_s);
    row("relay telling the client", Kind::RelayForwardedFor, u"%1"_s, u"0 works HTTP transparent 127.0.0.3: "_s);
    row("CONNECT only, typed HTTPS", Kind::ConnectOnly, u"https://%1"_s, u"0 works HTTP CONNECT elite 127.0.0.3: "_s);
    row("SOCKS4 that reads its whole request", Kind::Socks4Patient, u"%1"_s, u"0 works SOCKS4 elite 127.0.0.3: "_s);
    row("SOCKS5 with its login", Kind::Socks5Login, u"socks5://user:secret@%1"_s,
        u"0 works SOCKS5 elite 127.0.0.3: "_s);
    row("SOCKS5 without its login", Kind::Socks5Login, u"socks5://%1"_s,
        u"0 speaks SOCKS5 - -: the SOCKS5 proxy accepts no client without a login"_s);
    row("HTTP with its login", Kind::Basic, u"user:secret@%1"_s, u"0 works HTTP elite 127.0.0.3: "_s);
    row("HTTP without its login", Kind::Basic, u"http://%1"_s, u"0 speaks HTTP - -: the HTTP proxy wants a login"_s);
    row("a web server", Kind::WebServer, u"%1"_s, u"0 speaks HTTP - -: the answer is not a judge's page"_s);
    row("a server echoing the request", Kind::EchoRequest, u"%1"_s,
        u"0 speaks HTTP - -: the answer is not a judge's page"_s);
    row("a server that talks first", Kind::TalksFirst, u"http://%1"_s,
        u"0 speaks HTTP - -: the judge's page does not echo this request"_s);
    row("a drip", Kind::Drip, u"http://%1"_s, u"0 speaks HTTP - -: timed out"_s);
    row("silent", Kind::Silent, u"%1"_s, u"0 reachable - - -: timed out"_s);
    row("a page holding the text asked for", Kind::Relay, u"%1"_s, u"0 works HTTP - -: "_s, "REQUEST_METHOD = GET");
    row("no judge: a SOCKS4 answers", Kind::Socks4Patient, u"%1"_s, u"0 speaks SOCKS4 - -: "_s, "-");
}

void TstProxyCheck::judgesWhatComesBack()
{
    QFETCH(Kind, kind);
    QFETCH(QString, line);
    QFETCH(QByteArray, expect);
    QFETCH(QString, result);
    const ScriptedProxy proxy(kind, u"127.0.0.2"_s, u"127.0.0.3"_s);
    std::optional<Judge> judge = JudgeAt(m_judge.url(), expect);
    if (expect == "-")
        judge.reset();
    // 1.5 s is ample for a fake in this process to answer, even under a sanitizer.
    ProxyChecker checker({1500ms}, judge, 4);
    QCOMPARE(Check(checker, {line.arg(proxy.line())}), QStringList{result});
}

// SOCKS5H resolves names itself, so the judge's name goes to it; plain SOCKS5 is given the
// address the checker reached the judge at.
void TstProxyCheck::proxiesThatResolveAreGivenTheJudgesName()
{
    const QList<QHostAddress> local = QHostInfo::fromName(u"localhost"_s).addresses();
    if (local.isEmpty() || local.first() != QHostAddress(QHostAddress::LocalHost))
        QSKIP("localhost does not resolve to 127.0.0.1 first here, the only address the test's judge listens on");
    ScriptedProxy socks(Kind::Socks5, u"127.0.0.2"_s, u"127.0.0.3"_s);
    ProxyChecker checker({1500ms}, JudgeAt(QUrl(u"http://localhost:%1/"_s.arg(m_judge.url().port())), {}), 1);
    QCOMPARE(Check(checker, {u"socks5h://"_s + socks.line(), u"socks5://"_s + socks.line()}),
             (QStringList{u"0 works SOCKS5 elite 127.0.0.3: "_s, u"1 works SOCKS5 elite 127.0.0.3: "_s}));
    QCOMPARE(socks.targets(), (QStringList{u"localhost"_s, u"127.0.0.1"_s}));
}

void TstProxyCheck::stopsWhenTheJudgeFails()
{
    const ScriptedProxy relay(Kind::Relay, u"127.0.0.2"_s, u"127.0.0.3"_s);
    const ScriptedProxy notAJudge(Kind::WebServer, u"127.0.0.4"_s);
    const QString closed = u"http://127.0.0.1:%1/"_s.arg(ClosedLoopbackPort());
    for (const QString& url : {closed, u"http://"_s + notAJudge.line() + u'/'}) {
        ProxyChecker checker({1500ms}, JudgeAt(QUrl(url), {}), 4);
        QString ending;
        QCOMPARE(Check(checker, {relay.line()}, &ending), QStringList());
        QVERIFY2(ending.startsWith(u"the judge "_s + url), qPrintable(ending));
    }
}

// The refused proxy frees its slot at once, the silent ones hold both until their time is up.
void TstProxyCheck::atMostJobsAtOnce()
{
    const ScriptedProxy silent(Kind::Silent, u"127.0.0.5"_s);
    QSignalSpy accepted(&silent, &QTcpServer::newConnection);
    ProxyChecker checker({1000ms}, {}, 2);
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    QTimer::singleShot(0, &checker, [&] {
        QVERIFY(QTest::qWaitFor([&] { return accepted.count() >= 2; }, 5000));
        QVERIFY(!QTest::qWaitFor([&] { return accepted.count() > 2; }, 300));
    });
    QCOMPARE(Check(checker,
                   {u"socks5://"_s + silent.line(), closed, u"socks4://"_s + silent.line(),
                    u"socks4a://"_s + silent.line()}),
             (QStringList{u"0 reachable - - -: timed out"_s, u"1 none - - -: Connection refused"_s,
                          u"2 reachable - - -: timed out"_s, u"3 reachable - - -: timed out"_s}));
}

void TstProxyCheck::aShortageHereIsNoVerdict_data()
{
    QTest::addColumn<int>("spareFiles"); // what this process may still open
    QTest::addColumn<QString>("ending");
    QTest::newRow("a few: checked a few at a time") << 12 << QString();
    QTest::newRow("none: the check cannot go on") << 0 << u"this machine"_s;
}

// Every probe is refused at once, so a descriptor is free again soon after it is taken.
void TstProxyCheck::aShortageHereIsNoVerdict()
{
    QFETCH(int, spareFiles);
    QFETCH(QString, ending);
    const QString closed = u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort());
    ProxyChecker checker({1500ms}, {}, 64);
    QSignalSpy lowered(&checker, &ProxyChecker::jobsLowered);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = rlim_t(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size() + spareFiles);
    QVERIFY(setrlimit(RLIMIT_NOFILE, &limit) == 0);
    QString ended;
    const QStringList told = Check(checker, QStringList(40, closed), &ended);
    setrlimit(RLIMIT_NOFILE, &before);
    QVERIFY2(ended.startsWith(ending), qPrintable(ended));
    const QStringList refused = told.isEmpty() ? QStringList() : QStringList(40, u"none - - -: Connection refused"_s);
    QCOMPARE(QStringList(told).replaceInStrings(QRegularExpression(u"^\\d+ "_s), QString()), refused);
    if (ending.isEmpty())
        QVERIFY(!lowered.isEmpty());
    // With its descriptors back, the same checker checks again.
    QCOMPARE(Check(checker, {closed}), QStringList{u"0 none - - -: Connection refused"_s});
}

QTEST_GUILESS_MAIN(TstProxyCheck)
#include "tst_proxycheck.moc"
