#include "Anonymity.h"
#include "Judge.h"
#include "JudgeServer.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Framing = HttpAnswer::Framing;

// The answer read byte by byte, then the close: "status how it ended|body|rest|Proxy-Authenticate".
static QString Outcome(const QByteArray& bytes, qsizetype cap, Framing framing)
{
    HttpAnswer answer(cap, framing);
    for (const char byte : bytes)
        answer.read(QByteArrayView(&byte, 1));
    const bool completeBeforeClose = answer.state() == HttpAnswer::State::Complete;
    const bool complete = answer.readEnd() == HttpAnswer::State::Complete;
    const QString ended =
        complete ? u"complete"_s + (completeBeforeClose ? u""_s : u" at the close"_s) : answer.failure();
    return u"%1 %2|%3|%4|%5"_s.arg(QString::number(answer.status()), ended, QString::fromLatin1(answer.body()),
                                   QString::fromLatin1(answer.takeRest()),
                                   QString::fromLatin1(answer.header("proxy-authenticate")));
}

// The answer of the judge on 127.0.0.1 to the pieces of a request, sent one after the other.
static HttpAnswer Exchange(quint16 port, const QByteArrayList& pieces)
{
    QTcpSocket client;
    HttpAnswer answer(qsizetype(64) * 1024);
    QObject::connect(&client, &QTcpSocket::readyRead, &client, [&] { answer.read(client.readAll()); });
    client.connectToHost(QHostAddress::LocalHost, port);
    for (const QByteArray& piece : pieces) {
        client.write(piece);
        QTest::qWait(20); // lets the judge read each piece on its own, most of the time
    }
    if (QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 10000))
        answer.read(client.readAll());
    answer.readEnd();
    return answer;
}

class TstJudge final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAnswers_data();
    void readsAnswers();
    void readsPages_data();
    void readsPages();
    void gradesAnonymity_data();
    void gradesAnonymity();
    void asksTheJudgeWhatItsAddressNames_data();
    void asksTheJudgeWhatItsAddressNames();
    void servesThePage_data();
    void servesThePage();
    void boundsClientsAndTime();
    void acceptsAgainAfterRunningOutOfDescriptors();
};

void TstJudge::readsAnswers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("cap");
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char* name, const QByteArray& bytes, const QString& outcome, qsizetype cap = 65536,
                        Framing framing = Framing::WholeAnswer) {
        QTest::newRow(name) << bytes << cap << framing << outcome;
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: gzip, Chunked\r\n\r\n";
    row("length said twice, bytes after it", ok + "Content-Length: 5,5\r\n\r\nhelloEXTRA", u"200 complete|hello||"_s);
    row("empty, bytes after it", ok + "Content-Length: 0\r\n\r\nEXTRA", u"200 complete|||"_s);
    row("chunked, bare LF", chunked + "4;a=b\nREMO\r\n00a \nTE_ADDR = \n0\nX: 1\n\n",
        u"200 complete|REMOTE_ADDR = ||"_s);
    row("until the close", "HTTP/1.0 200 OK\r\n\r\nthe page", u"200 complete at the close|the page||"_s);
    row("gzip", ok + "Transfer-Encoding: gzip\r\nContent-Length: 1\r\n\r\nab", u"200 complete at the close|ab||"_s);
    row("interim", "HTTP/1.1 100 A\r\n\r\nHTTP/1.1 103 B\nX: 1\n\n" + ok + "Content-Length: 2\n\nok",
        u"200 complete|ok||"_s);
    row("204", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", u"204 complete|||"_s);
    row("304", "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n", u"304 complete|||"_s);
    row("cut in the body", ok + "Content-Length: 65530\r\n\r\nshort",
        u"200 the connection closed before the body was complete|short||"_s);
    row("cut in the header", ok + "Content-", u"200 the connection closed before the header was complete|||"_s);
    row("nothing", "", u"-1 the connection closed without an answer|||"_s);
    row("over the cap", ok + "\r\nxxxxxxxxxxxx", u"200 the answer is longer than 30 bytes|xxxxxxxxxxx||"_s, 30);
    row("just the cap", ok + "\r\nxxxxxxxxxxx", u"200 complete at the close|xxxxxxxxxxx||"_s, 30);
    row("header over the cap", ok + "X: " + QByteArray(40, 'a'), u"200 the answer is longer than 40 bytes|||"_s, 40);
    row("length over the cap", ok + "Content-Length: 99999999999999999999999\r\n\r\n",
        u"200 the answer is longer than 65536 bytes|||"_s);
    row("chunk over the cap", chunked + "FFFFFFFFFFFFFFFFFFFFF\r\n", u"200 the answer is longer than 65536 bytes|||"_s);
    row("lengths differ", ok + "Content-Length: 5\ncontent-length: 6\n\n", u"200 the Content-Length is malformed|||"_s);
    row("length malformed", ok + "Content-Length: 0x5\r\n\r\n", u"200 the Content-Length is malformed|||"_s);
    row("chunk longer than said", chunked + "5\r\nhelloX\r\n", u"200 the chunked body is malformed|hello||"_s);
    row("chunk size malformed", chunked + "g\r\n", u"200 the chunked body is malformed|||"_s);
    row("not HTTP", "\x05\x00", u"-1 the answer is not HTTP/1.x|||"_s);
    row("status line malformed", "HTTP/1.1 2000\r\n\r\n", u"-1 the status line is malformed|||"_s);
    row("header line malformed", ok + "Bad Name: x\r\n\r\n", u"200 a header line is malformed|||"_s);
    row("tunnel refused, login asked",
        "HTTP/1.1 407 Login\nProxy-Authenticate: Basic\n realm=x\nproxy-authenticate: D\n\nno",
        u"407 complete||no|Basic realm=x, D"_s, 65536, Framing::HeaderOnly);
    row("tunnel", ok + "\r\nHTTP/1.1 404", u"200 complete||HTTP/1.1 404|"_s, 30, Framing::HeaderOnly);
}

void TstJudge::readsAnswers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, cap);
    QFETCH(Framing, framing);
    QTEST(Outcome(bytes, cap, framing), "outcome");
}

void TstJudge::readsPages_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("lines"); // REMOTE_ADDR's value, then every line; "none" for no environment
    HttpRequest request{QHostAddress(u"::ffff:127.0.0.1"_s), 4711, "GET", "/?check=1", "HTTP/1.0"};
    request.headers = {{"x-forwarded-for", "1"}, {"Zone.09", "a\r\nb"}, {"X-Forwarded-For", "2"}};
    QTest::newRow("our page")
        << JudgePageText(request)
        << u"127.0.0.1|REMOTE_ADDR=127.0.0.1|REMOTE_PORT=4711|REQUEST_METHOD=GET|REQUEST_URI=/?check=1|"
           u"SERVER_PROTOCOL=HTTP/1.0|HTTP_X_FORWARDED_FOR=1, 2|HTTP_ZONE_09=a  b"_s;
    QTest::newRow("HTML")
        << "\n<html><pre>REMOTE_ADDR = 203.0.113.7\r\nHTTP_FORWARDED = for=&quot;[2001:db8::1]&quot;"
           "<br>HTTP_VIA=&#39;&#x41;&#1;&#32;&#126;&bogus;&amp;xamp;</pre>"_ba
        << u"203.0.113.7|REMOTE_ADDR=203.0.113.7|HTTP_FORWARDED=for=\"[2001:db8::1]\"|HTTP_VIA='A&#1; ~&bogus;&xamp;"_s;
    QTest::newRow("text around, first one counts")
        << "Your request:\n  REMOTE_ADDR=1.2.3.4 \nlower = x\nHTTP_X = &amp; <b>\nREMOTE_ADDR = 5.6.7.8"_ba
        << u"1.2.3.4|REMOTE_ADDR=1.2.3.4|HTTP_X=&amp; <b>|REMOTE_ADDR=5.6.7.8"_s;
    QTest::newRow("no environment") << "<html>REMOTE_ADDR: 1.2.3.4</html>"_ba << u"none"_s;
}

void TstJudge::readsPages()
{
    QFETCH(QByteArray, page);
    const std::optional<JudgeEnvironment> environment = JudgeEnvironment::parse(page);
    QStringList lines{environment ? QString::fromLatin1(environment->value("REMOTE_ADDR").value_or("-")) : u"none"_s};
    for (const auto& [name, value] : environment ? environment->lines() : QList<JudgeEnvironment::Line>())
        lines.append(QString::fromLatin1(name + '=' + value));
    QTEST(lines.join(u'|'), "lines");
}

void TstJudge::gradesAnonymity_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("checker");
    QTest::addColumn<QString>("level");
    const QByteArray relayed = "REMOTE_ADDR = 127.0.0.2\nHTTP_HOST = 127.0.0.1:8080\n";
    const auto row = [](const QByteArray& name, const QByteArray& page, const QString& level,
                        const QString& checker = u"127.0.0.1"_s) {
        QTest::newRow(name.constData()) << page << checker << level;
    };
    row("address only in the host", relayed, u"elite"_s);
    row("direct", "REMOTE_ADDR = ::ffff:127.0.0.1\n", u"transparent"_s);
    row("checker mapped", relayed + "HTTP_X_REAL_IP = 127.0.0.1\n", u"transparent"_s, u"::ffff:127.0.0.1"_s);
    row("another address", relayed + "HTTP_X_FORWARDED_FOR = 127.0.0.10\n", u"anonymous"_s);
    row("in a list", relayed + "HTTP_X_FORWARDED_FOR = 10.0.0.1,192.0.2.9:5000\n", u"transparent"_s, u"192.0.2.9"_s);
    row("Forwarded by", relayed + "HTTP_FORWARDED = by=127.0.0.1\n", u"anonymous"_s);
    row("bracketed, port", relayed + "HTTP_VIA = 1.1 x (y),unknown\t[2001:db8::1]:80\n", u"transparent"_s,
        u"2001:db8::1"_s);
    row("zone", relayed + "HTTP_CLIENT_IP = _hidden (fe80::1%eth0)\n", u"transparent"_s, u"fe80::1"_s);
    row("Forwarded for, quoted", relayed + "HTTP_FORWARDED = for=192.0.2.6;by=127.0.0.1, For=\"[2001:db8::7]\"\n",
        u"transparent"_s, u"2001:db8::7"_s);
    row("no whole address", relayed + "HTTP_X_REAL_IP = 127.0.0.1.5 1.127.0.0.1 0x7f.0.0.1 127.1 [127.0.0.1 ::1g\n",
        u"anonymous"_s);
    for (const QByteArray header :
         {"Via", "X-Forwarded-For", "Forwarded", "X-Real-IP", "Client-IP", "X-Client-IP", "True-Client-IP",
          "X-Originating-IP", "X-Remote-IP", "X-Remote-Addr", "Forwarded-For", "X-Forwarded", "X-Cluster-Client-IP",
          "CF-Connecting-IP", "Forwarded-For-IP", "X-Coming-From", "Coming-From", "X-ProxyUser-IP"})
        row(header + " names the client", relayed + JudgePageText({.headers = {{header, "for=127.0.0.1"}}}),
            u"transparent"_s);
    for (const QByteArray header : {"Proxy-Connection", "X-Proxy-Connection", "Xroxy-Connection", "X-Proxy-ID",
                                    "MT-Proxy-ID", "X-BlueCoat-Via", "X-TinyProxy", "Proxy-Agent", "X-IMForwards",
                                    "X-Forwarded-Host", "X-Forwarded-Proto", "X-Forwarded-Port", "X-Forwarded-Server"})
        row(header + " reveals a proxy", relayed + JudgePageText({.headers = {{header, "127.0.0.1"}}}), u"anonymous"_s);
}

void TstJudge::gradesAnonymity()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, checker);
    QTEST(AnonymityName(GradeAnonymity(*JudgeEnvironment::parse(page), QHostAddress(checker))), "level");
}

void TstJudge::asksTheJudgeWhatItsAddressNames_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("request"); // what a proxy is asked to fetch, the token cut out; "-" when refused
    const auto row = [](const char* name, const QString& address, const QString& request) {
        QTest::newRow(name) << address << request;
    };
    row("port 80 unsaid", u"http://judge.example/env?a=1"_s,
        u"GET http://judge.example/env?a=1&check= HTTP/1.1|Host: judge.example"_s);
    row("IPv6 and a port", u"http://[::1]:8080"_s, u"GET http://[::1]:8080/?check= HTTP/1.1|Host: [::1]:8080"_s);
    row("a name in its ASCII form", u"http://b\u00FCcher.example:80/a b"_s,
        u"GET http://xn--bcher-kva.example/a%20b?check= HTTP/1.1|Host: xn--bcher-kva.example"_s);
    row("HTTPS", u"https://judge.example/"_s, u"-"_s);
    row("a login", u"http://user:pw@judge.example/"_s, u"-"_s);
    row("no host", u"http:///env"_s, u"-"_s);
}

void TstJudge::asksTheJudgeWhatItsAddressNames()
{
    QFETCH(QString, address);
    const std::optional<Judge> judge = JudgeAt(QUrl(address), {});
    if (!judge) {
        QTEST(u"-"_s, "request");
        return;
    }
    const JudgeQuery query(*judge, JudgeQuery::Form::Absolute);
    const QList<QByteArray> lines = query.request().split('\n');
    QTEST(QString::fromLatin1(QByteArray(lines.value(0)).replace(query.token(), "").trimmed() + '|'
                              + lines.value(1).trimmed()),
          "request");
}

void TstJudge::servesThePage_data()
{
    QTest::addColumn<QByteArrayList>("request");
    QTest::addColumn<QString>("answer"); // status, Allow, body without REMOTE_PORT
    QTest::newRow("GET, a header repeated, bare LF, in pieces")
        << QByteArrayList{"GET /?check=abc HTTP/1.1\r\nHost: 127.0.0.1\r\n", "X-Forwarded-For: 10.0.0.1\n",
                          "x-forwarded-for:10.0.0.2 \r", "\n\r", "\n"}
        << u"200||REMOTE_ADDR = 127.0.0.1\nREQUEST_METHOD = GET\nREQUEST_URI = /?check=abc\n"
           u"SERVER_PROTOCOL = HTTP/1.1\nHTTP_HOST = 127.0.0.1\nHTTP_X_FORWARDED_FOR = 10.0.0.1, 10.0.0.2\n"_s;
    QTest::newRow("POST") << QByteArrayList{"POST / HTTP/1.1\r\nContent-Length: 3\r\n\nabc"}
                          << u"405|GET|405 Method Not Allowed\n"_s;
    QTest::newRow("HTTP/2") << QByteArrayList{"GET / HTTP/2.0\r\n\r\n"} << u"400||400 Bad Request\n"_s;
    QTest::newRow("control in target") << QByteArrayList{"GET /\x7f HTTP/1.1\r\n\r\n"} << u"400||400 Bad Request\n"_s;
    QTest::newRow("bad header") << QByteArrayList{"GET / HTTP/1.1\r\nNo colon\r\n\r\n"} << u"400||400 Bad Request\n"_s;
    QTest::newRow("over the cap") << QByteArrayList{"GET / HTTP/1.1\nX: " + QByteArray(79, 'a') + "\n\n"}
                                  << u"431||431 Request Header Fields Too Large\n"_s;
}

void TstJudge::servesThePage()
{
    QFETCH(QByteArrayList, request);
    JudgeServer judge({.requestCap = 98}); // the head of the first row, just
    QVERIFY(judge.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(judge.url(), QUrl(u"http://127.0.0.1:%1/"_s.arg(judge.url().port())));
    const HttpAnswer answer = Exchange(quint16(judge.url().port()), request);
    QCOMPARE(answer.header("Content-Type"), "text/plain; charset=utf-8");
    QTEST(u"%1|%2|"_s.arg(QString::number(answer.status()), QString::fromLatin1(answer.header("Allow")))
              + QString::fromLatin1(answer.body()).remove(QRegularExpression(u"REMOTE_PORT = \\d+\n"_s)),
          "answer");
}

// A client that sends nothing holds its place only until the time-out; one too many is told 503.
void TstJudge::boundsClientsAndTime()
{
    JudgeServer judge({.clients = 2, .timeout = 1s});
    QVERIFY(judge.listen(QHostAddress::LocalHost, 0));
    const auto port = quint16(judge.url().port());
    const QByteArrayList get{"GET / HTTP/1.1\r\n\r\n"};
    QTcpSocket silent;
    QTcpSocket alsoSilent;
    silent.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(silent.waitForConnected());
    QCOMPARE(Exchange(port, get).status(), 200);
    QCOMPARE(silent.state(), QAbstractSocket::ConnectedState);
    alsoSilent.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(alsoSilent.waitForConnected());
    QCOMPARE(Exchange(port, get).status(), 503);
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 10000);
    QTRY_COMPARE(Exchange(port, get).status(), 200);
}

// A moment without a free descriptor makes the judge turn a client away, not stop taking clients.
void TstJudge::acceptsAgainAfterRunningOutOfDescriptors()
{
    JudgeServer judge;
    QVERIFY(judge.listen(QHostAddress::LocalHost, 0));
    QTcpSocket early;
    early.connectToHost(QHostAddress::LocalHost, quint16(judge.url().port()));
    QVERIFY(early.waitForConnected());
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    const int lowestFree = open("/dev/null", O_RDONLY);
    close(lowestFree);
    limit.rlim_cur = rlim_t(lowestFree);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);
    QTest::qWait(50); // the judge cannot take the early client now
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
    QCOMPARE(Exchange(quint16(judge.url().port()), {"GET / HTTP/1.1\r\n\r\n"}).status(), 200);
}

QTEST_GUILESS_MAIN(TstJudge)
#include "tst_judge.moc"
