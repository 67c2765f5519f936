#include "ClosedPort.h"
#include "HttpAnswer.h"
#include "JudgeServer.h"
#include "LocalProxyServer.h"
#include "PoolKeeper.h"
#include "ProbeEngine.h"
#include "ScriptedProxy.h"
#include "UniqueFd.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;
using Kind = ScriptedProxy::Kind;

namespace {

enum class Client { HttpGet, HttpConnect, Socks5 };

// The local server on an engine of its own, its pool given as a check would leave it.
struct Server
{
    explicit Server(const std::vector<Upstream>& pool, ServeLimits limits = {})
        : server(engine.context(), limits, {}, {})
    {
        server.listen(QHostAddress::LocalHost, 0);
        engine.post([this, pool] {
            server.usePool(pool);
            server.start();
        });
    }
    ~Server()
    {
        engine.post([this] { server.stop(); });
        engine.halt();
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    ProbeEngine engine;
    LocalProxyServer server;
};

Upstream Through(const ScriptedProxy& proxy, ProxyProtocol protocol)
{
    return {proxy.serverAddress(), proxy.serverPort(), protocol, {}, false, proxy.line()};
}

// The address the judge saw the request come from, or what the client got instead.
QString ExitThrough(Client client, quint16 serverPort, const QUrl& judge)
{
    if (client == Client::HttpGet) {
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, serverPort));
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(judge)));
        if (!QTest::qWaitFor([&reply] { return reply->isFinished(); }, 10000))
            return u"(no answer)"_s;
        const QByteArray body = reply->readAll();
        const std::optional<JudgeEnvironment> page = JudgeEnvironment::parse(body);
        return QString::fromLatin1(page ? page->value("REMOTE_ADDR").value_or("?") : body.trimmed());
    }
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy(client == Client::Socks5 ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                                  u"127.0.0.1"_s, serverPort));
    HttpAnswer answer(65536);
    QObject::connect(&socket, &QTcpSocket::connected, &socket,
                     [&socket] { socket.write("GET / HTTP/1.1\r\nHost: judge\r\nConnection: close\r\n\r\n"); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { answer.read(socket.readAll()); });
    socket.connectToHost(judge.host(), quint16(judge.port()));
    // The fakes answer from this thread's event loop: the waiting runs it.
    if (!QTest::qWaitFor([&] { return answer.state() != HttpAnswer::State::Incomplete; }, 10000))
        return socket.errorString();
    const std::optional<JudgeEnvironment> page = JudgeEnvironment::parse(answer.body());
    return page ? QString::fromLatin1(page->value("REMOTE_ADDR").value_or("?")) : u"(no page)"_s;
}

} // namespace

class TstServe final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void carriesEachClientInTurn_data();
    void carriesEachClientInTurn();
    void triesTheNextWhenOneFails_data();
    void triesTheNextWhenOneFails();
    void aClientThatReadsNothingHoldsItsUpstream();
    void keepsThePoolToWhatWorksNow();
    void readsWhatTheClientAsks_data();
    void readsWhatTheClientAsks();
    void servesOnlyWhomItMay_data();
    void servesOnlyWhomItMay();

private:
    JudgeServer m_judge;
    // Each carries requests on from an address of its own, which the judge tells.
    ScriptedProxy m_relay{Kind::Relay, u"127.0.0.11"_s, u"127.0.0.21"_s};
    ScriptedProxy m_tunnel{Kind::ConnectOnly, u"127.0.0.12"_s, u"127.0.0.22"_s};
    ScriptedProxy m_socks{Kind::Socks5, u"127.0.0.13"_s, u"127.0.0.23"_s};
};

void TstServe::initTestCase()
{
    QVERIFY(m_judge.listen(QHostAddress::LocalHost, 0));
}

void TstServe::carriesEachClientInTurn_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<QStringList>("exits");
    // A proxy checked by a plain GET carries only requests handed on whole; tunnels carry any.
    QTest::newRow("GET") << Client::HttpGet
                         << QStringList{u"127.0.0.21"_s, u"127.0.0.22"_s, u"127.0.0.23"_s, u"127.0.0.21"_s};
    QTest::newRow("CONNECT") << Client::HttpConnect
                             << QStringList{u"127.0.0.22"_s, u"127.0.0.23"_s, u"127.0.0.22"_s, u"127.0.0.23"_s};
    QTest::newRow("SOCKS5") << Client::Socks5
                            << QStringList{u"127.0.0.22"_s, u"127.0.0.23"_s, u"127.0.0.22"_s, u"127.0.0.23"_s};
}

void TstServe::carriesEachClientInTurn()
{
    QFETCH(Client, client);
    QFETCH(QStringList, exits);
    const Server server({Through(m_relay, ProxyProtocol::Http), Through(m_tunnel, ProxyProtocol::HttpConnect),
                         Through(m_socks, ProxyProtocol::Socks5)});
    QStringList seen;
    for (qsizetype n = 0; n < exits.size(); ++n)
        seen.append(ExitThrough(client, server.server.port(), m_judge.url()));
    QCOMPARE(seen, exits);
}

void TstServe::triesTheNextWhenOneFails_data()
{
    QTest::addColumn<bool>("oneWorks");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("the dead one set aside") << true << QStringList{u"127.0.0.22"_s, u"127.0.0.22"_s};
    QTest::newRow("none works: 502, never direct")
        << false
        << QStringList{u"varnholt-cli serve: no proxy carried this request: 127.0.0.1:%1: Connection refused"_s,
                       u"varnholt-cli serve: no working proxy can carry this request"_s};
}

void TstServe::triesTheNextWhenOneFails()
{
    QFETCH(bool, oneWorks);
    QFETCH(QStringList, seen);
    const quint16 closed = ClosedLoopbackPort();
    std::vector<Upstream> pool{{QHostAddress::LocalHost, closed, ProxyProtocol::HttpConnect, {}, false, {}}};
    if (oneWorks)
        pool.push_back(Through(m_tunnel, ProxyProtocol::HttpConnect));
    const Server server(pool);
    QSignalSpy judged(&m_judge, &JudgeServer::answered);
    QStringList told;
    for (qsizetype n = 0; n < seen.size(); ++n)
        told.append(ExitThrough(Client::HttpGet, server.server.port(), m_judge.url()));
    QCOMPARE(told, QStringList(seen).replaceInStrings(u"%1"_s, QString::number(closed)));
    QCOMPARE(judged.size(), oneWorks ? seen.size() : 0);
}

// The source writes as long as its writes are taken; with the client reading nothing, what it
// could send stays within the sockets' buffers and the server's one piece in flight.
void TstServe::aClientThatReadsNothingHoldsItsUpstream()
{
    QTcpServer source;
    QVERIFY(source.listen(QHostAddress(u"127.0.0.30"_s), 0));
    qint64 sent = 0;
    connect(&source, &QTcpServer::newConnection, &source, [&] {
        QTcpSocket* peer = source.nextPendingConnection();
        const QByteArray piece(65536, 'x');
        const auto more = [peer, piece] {
            if (peer->bytesToWrite() < piece.size())
                peer->write(piece);
        };
        connect(peer, &QTcpSocket::bytesWritten, peer, [&sent, more](qint64 written) {
            sent += written;
            more();
        });
        more();
    });
    const Server server({Through(m_tunnel, ProxyProtocol::HttpConnect)});
    // A client of its own, which never reads: Qt's would read for it.
    const UniqueFd client(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.server.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
    const QByteArray connect = "CONNECT 127.0.0.30:" + QByteArray::number(source.serverPort()) + " HTTP/1.1\r\n\r\n";
    QVERIFY(::send(client.get(), connect.constData(), std::size_t(connect.size()), 0) == connect.size());
    // Once every buffer on the way is full, the source can send no more.
    qint64 before = -1;
    for (int round = 0; round < 40 && sent != before; ++round) {
        before = sent;
        QTest::qWait(500);
    }
    QCOMPARE(sent, before);
    QVERIFY2(sent > 0 && sent < 64 * 1024 * 1024, qPrintable(QString::number(sent)));
}

// The pool is what the last completed check found working: a check the judge fails leaves it as
// it was, and a proxy gone by the next check no longer gets its turn.
void TstServe::keepsThePoolToWhatWorksNow()
{
    Server server({});
    auto leaving = std::make_unique<ScriptedProxy>(Kind::Socks5, u"127.0.0.14"_s, u"127.0.0.24"_s);
    QBuffer list;
    list.setData((m_socks.line() + u'\n' + leaving->line() + u'\n').toUtf8());
    QVERIFY(list.open(QIODevice::ReadOnly));
    auto judge = std::make_unique<JudgeServer>();
    QVERIFY(judge->listen(QHostAddress::LocalHost, 0));
    const QUrl judgeUrl = judge->url();
    PoolKeeper keeper({std::chrono::milliseconds(3000)}, *JudgeAt(judgeUrl, {}), 4,
                      [&server](std::vector<Upstream> working) {
                          server.engine.post([&server, working] { server.server.usePool(working); });
                      });
    QSignalSpy ended(&keeper, &PoolKeeper::checkEnded);
    const auto exitsAfter = [&](const std::function<void()>& check) {
        check();
        if (!ended.wait(10000))
            return QStringList{u"(the check did not end)"_s};
        QStringList exits; // in turn, from wherever the pool begins
        for (int n = 0; n < 2; ++n)
            exits.append(ExitThrough(Client::Socks5, server.server.port(), m_judge.url()));
        exits.sort();
        const bool completed = ended.takeFirst().at(0).value<CheckEnding>() == CheckEnding::Completed;
        return QStringList{completed ? u"completed"_s : u"failed"_s} + exits;
    };
    QCOMPARE(exitsAfter([&] { keeper.check(ReadProxyList(list).proxies); }),
             (QStringList{u"completed"_s, u"127.0.0.23"_s, u"127.0.0.24"_s}));
    judge.reset();
    QCOMPARE(exitsAfter([&] { keeper.recheck(); }), (QStringList{u"failed"_s, u"127.0.0.23"_s, u"127.0.0.24"_s}));
    judge = std::make_unique<JudgeServer>();
    QVERIFY(judge->listen(QHostAddress::LocalHost, quint16(judgeUrl.port())));
    leaving.reset();
    QCOMPARE(exitsAfter([&] { keeper.recheck(); }), (QStringList{u"completed"_s, u"127.0.0.23"_s, u"127.0.0.23"_s}));
}

void TstServe::readsWhatTheClientAsks_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("read"); // what the request asks, or the refusal; then every reply
    const QByteArray greeting("\x05\x01\x00", 3); // version 5, one method: no login
    const QByteArray socks5("\x05\x01\x00", 3); // version 5, CONNECT, reserved
    const auto row = [](const char* name, const QByteArray& sent, const QString& read) {
        QTest::newRow(name) << sent << read;
    };
    row("SOCKS5, IPv4", greeting + socks5 + QByteArray("\x01\x0a\x01\x02\x03\x00\x50", 7),
        u"tunnel 10.1.2.3 80 | 05 00"_s);
    row("SOCKS5, IPv6", greeting + socks5 + '\x04' + QByteArray(15, '\0') + QByteArray("\x01\x01\xbb", 3),
        u"tunnel ::1 443 | 05 00"_s);
    row("SOCKS5, a name", greeting + socks5 + QByteArray("\x03\x0b", 2) + "example.com" + QByteArray("\x00\x50", 2),
        u"tunnel example.com 80 | 05 00"_s);
    row("SOCKS5, a name with a line end",
        greeting + socks5 + QByteArray("\x03\x04", 2) + "ex\r\n" + QByteArray("\x00\x50", 2),
        u"refused | 05 00 05 01 00 01 00 00 00 00 00 00"_s);
    row("SOCKS5, a login only", QByteArray("\x05\x01\x02", 3), u"refused | 05 ff"_s);
    row("HTTP, handed on", "GET http://example.com:8080/x HTTP/1.1\r\nHost: example.com\r\nKeep-Alive: 1\r\n\r\n",
        u"forward example.com 8080 | "_s);
    row("HTTP, an IPv6 target", "GET http://[::1]/ HTTP/1.1\r\n\r\n", u"forward ::1 80 | "_s);
    row("CONNECT", "CONNECT [::1]:443 HTTP/1.1\r\n\r\n", u"tunnel ::1 443 | "_s);
    row("CONNECT, a name of every kind of character", "CONNECT a-Z_0.9:443 HTTP/1.1\r\n\r\n",
        u"tunnel a-Z_0.9 443 | "_s);
    row("CONNECT, a name with a character no name has", "CONNECT a*b:443 HTTP/1.1\r\n\r\n", u"refused | 400"_s);
    row("CONNECT to port 0", "CONNECT a:0 HTTP/1.1\r\n\r\n", u"refused | 400"_s);
    row("HTTP, not for a proxy", "GET / HTTP/1.1\r\n\r\n", u"refused | 400"_s);
}

// Fed a byte at a time, as a slow client sends it.
void TstServe::readsWhatTheClientAsks()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, read);
    ClientRequestReader reader;
    ClientRequestReader::State state = ClientRequestReader::State::Incomplete;
    QByteArray replies;
    for (qsizetype n = 0; n < sent.size() && state == ClientRequestReader::State::Incomplete; ++n) {
        state = reader.read(sent.sliced(n, 1));
        replies += reader.takeReply();
    }
    const ClientRequest& request = reader.request();
    const QString asked = state != ClientRequestReader::State::Ready
        ? u"refused"_s
        : u"%1 %2 %3"_s.arg(request.kind == ClientRequest::Kind::Tunnel ? u"tunnel"_s : u"forward"_s, request.host,
                            QString::number(request.port));
    const QByteArray shownReplies = replies.startsWith("HTTP/1.1 ") ? replies.mid(9, 3) : replies.toHex(' ');
    QCOMPARE(u"%1 | %2"_s.arg(asked, QString::fromLatin1(shownReplies)), read);
}

void TstServe::servesOnlyWhomItMay_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("loopback") << u"127.1.2.3"_s << true;
    QTest::newRow("IPv6 loopback") << u"::1"_s << true;
    QTest::newRow("loopback as an IPv4-mapped address") << u"::ffff:127.0.0.1"_s << true;
    QTest::newRow("in a subnet allowed") << u"192.0.2.77"_s << true;
    QTest::newRow("the next subnet") << u"192.0.3.1"_s << false;
    QTest::newRow("anyone else") << u"203.0.113.5"_s << false;
}

void TstServe::servesOnlyWhomItMay()
{
    QFETCH(QString, client);
    QFETCH(bool, allowed);
    QCOMPARE(IsAllowedClient(QHostAddress(client), {QHostAddress::parseSubnet(u"192.0.2.0/24"_s)}), allowed);
}

QTEST_GUILESS_MAIN(TstServe)
#include "tst_serve.moc"
