#include "CountingYielder.h"
#include "DemoListSite.h"
#include "HarvestRecorder.h"
#include "HttpPageFetcher.h"
#include "ProxyTable.h"
#include "ScriptedHttpServer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// How the list site misbehaves on the second page; the first page is always answered well.
using Misbehaviour = std::function<void(QTcpSocket& socket, const QByteArray& target, const QByteArray& page)>;
Q_DECLARE_METATYPE(Misbehaviour)

namespace {

constexpr int RequestTimeoutMs = 1000;
// Long enough that the cap, not the clock, ends a flood even on a slow machine.
constexpr int FloodTimeoutMs = 20000;
constexpr qint64 BodyCap = 1 << 20;
const QByteArray FirstPageTarget = "/index.pl/proxy_list?order=&offset=0";

// Passes every fetch on to the real fetcher and keeps what each came to, which the run itself
// does not show.
// Writes the bytes one at a time with a pause between them, for as long as the peer listens.
void Drip(QTcpSocket& socket, const QByteArray& bytes, std::chrono::milliseconds pause)
{
    auto* timer = new QTimer(&socket);
    QObject::connect(timer, &QTimer::timeout, &socket, [&socket, bytes, sent = qsizetype(0)]() mutable {
        if (sent < bytes.size())
            socket.write(bytes.sliced(sent++, 1));
    });
    timer->start(pause);
}

// Keeps the peer's receive side full: the next block goes out whenever the last has left.
void Flood(QTcpSocket& socket, const QByteArray& head, const QByteArray& block)
{
    const auto sendMore = [&socket, block] {
        if (socket.state() == QAbstractSocket::ConnectedState && socket.bytesToWrite() < block.size())
            socket.write(block);
    };
    QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, sendMore);
    socket.write(head);
    sendMore();
}

QByteArray Chunk(const QByteArray& data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

// A gzip member (the ten-byte header, then deflate data) whose one deflate block, never ended,
// repeats the byte 0: a literal 0, then matches of 258 bytes at distance 1, 13 bits each in
// the fixed Huffman code. From the twelfth byte on the stream repeats every 13 bytes, eight
// matches, so each 13 bytes sent inflate to 2064 bytes.
const QByteArray GzipBombStart = QByteArray::fromHex("1f8b08000000000000ff6218");
const QByteArray GzipBombRepeat = QByteArray::fromHex("05a360148c8251300a46c12818");

// The content codings the request offered.
QByteArrayList AcceptedEncodings(const QByteArray& requestHead)
{
    QByteArrayList codings;
    for (const QByteArray& line : requestHead.split('\n')) {
        if (line.toLower().startsWith("accept-encoding:")) {
            for (const QByteArray& coding : line.sliced(line.indexOf(':') + 1).split(','))
                codings.append(coding.trimmed());
        }
    }
    return codings;
}

QByteArray Garbage(qsizetype size)
{
    QByteArray garbage(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        garbage[i] = char(i * 7919 % 256);
    return garbage;
}

} // namespace

// The list site as an adversary, on loopback: every way a server can hold, flood or confuse
// the harvest. A page that does not arrive whole ends the run as a failed fetch: the rows of
// the earlier pages stay in the table and usable, the pages bar still names the page that
// failed, the button is ready for a new run and no message interrupts the user.
class TstHostileListSite final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void failedPageEndsTheRunKeepingEarlierRows_data();
    void failedPageEndsTheRunKeepingEarlierRows();
    void garbageBodyIsAPageWithoutRows_data();
    void garbageBodyIsAPageWithoutRows();

private:
    HarvestLog run(const Misbehaviour& misbehaviour, qint64 bodyCap, std::chrono::milliseconds timeout,
                   const QString& pageCount);

    DemoListSite m_site{DemoListSite::Options{}};
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ProxyTable> m_table;
    CountingYielder m_yielder;
    QByteArrayList m_targets;
    QString m_reason;
    QByteArray m_secondRequestHead;
};

void TstHostileListSite::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_table = std::make_unique<ProxyTable>();
    m_targets.clear();
    m_secondRequestHead.clear();
}

HarvestLog TstHostileListSite::run(const Misbehaviour& misbehaviour, qint64 bodyCap, std::chrono::milliseconds timeout,
                                   const QString& pageCount)
{
    ScriptedHttpServer server([this, &misbehaviour](QTcpSocket& socket, const QByteArray& target) {
        if (target == FirstPageTarget)
            return ScriptedHttpServer::answer(socket, "200 OK", m_site.page(0));
        if (m_secondRequestHead.isEmpty())
            m_secondRequestHead = socket.property("head").toByteArray();
        misbehaviour(socket, target, m_site.page(100));
    });
    HttpPageFetcher fetcher(timeout, bodyCap);
    HarvestRun harvest(*m_table, HarvestRun::Services{fetcher, m_yielder}, m_folder->path(), server.authority());
    HarvestRecorder recorder(harvest);
    harvest.start([&pageCount] { return pageCount; });
    m_targets = server.targets();
    m_reason = recorder.reason;
    return recorder.log;
}

void TstHostileListSite::failedPageEndsTheRunKeepingEarlierRows_data()
{
    QTest::addColumn<Misbehaviour>("misbehaviour");
    QTest::addColumn<qint64>("bodyCap");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("why"); // what the fetch came to, which the user is not shown
    QTest::addColumn<int>("requests"); // made for the second page

    const QString timedOut = u"The request timed out."_s;
    const QString tooLarge = u"The page is larger than %1 bytes."_s;

    QTest::newRow("connection dropped in the body")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray& page) {
               socket.write(ScriptedHttpServer::response("200 OK", page).left(page.size() / 2));
               socket.disconnectFromHost();
           })
        << BodyCap << RequestTimeoutMs << u"Connection closed"_s << 1;
    QTest::newRow("server never answers") << Misbehaviour([](QTcpSocket&, const QByteArray&, const QByteArray&) {})
                                          << BodyCap << RequestTimeoutMs << timedOut << 1;
    QTest::newRow("headers, then silence")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray&) {
               socket.write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
           })
        << BodyCap << RequestTimeoutMs << timedOut << 1;
    // The request time-out bounds the whole request, not only a silence between two bytes.
    QTest::newRow("slow drip, a byte every 250 ms")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray& page) {
               Drip(socket, ScriptedHttpServer::response("200 OK", page), 250ms);
           })
        << BodyCap << RequestTimeoutMs << timedOut << 1;
    QTest::newRow("body over the cap, announced")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray&) {
               ScriptedHttpServer::answer(socket, "200 OK", QByteArray(2 * BodyCap, 'x'));
           })
        << BodyCap << RequestTimeoutMs << tooLarge.arg(BodyCap) << 1;
    QTest::newRow("response that never ends")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray& page) {
               Flood(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", Chunk(page));
           })
        << BodyCap << FloodTimeoutMs << tooLarge.arg(BodyCap) << 1;
    // Qt follows at most 50 redirects, so the chain is cut after 51 requests, long before its end.
    QTest::newRow("10 000-hop redirect chain")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray& target, const QByteArray& page) {
               const int hop = target.startsWith("/hop/") ? target.sliced(5).toInt() : 0;
               if (hop == 10000)
                   return ScriptedHttpServer::answer(socket, "200 OK", page);
               socket.write(ScriptedHttpServer::response("302 Found", {},
                                                         "Location: /hop/" + QByteArray::number(hop + 1) + "\r\n"));
               socket.disconnectFromHost();
           })
        << BodyCap << RequestTimeoutMs << u"Too many redirects"_s << 51;
    // The cap counts the inflated bytes: 4 MiB of zeros deflate to a few kilobytes on the wire.
    QTest::newRow("compressed body over the cap once inflated")
        << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray&) {
               // qCompress gives the zlib stream of HTTP's "deflate" after a four-byte length.
               const QByteArray deflated = qCompress(QByteArray(4 * BodyCap, '\0')).sliced(4);
               socket.write(ScriptedHttpServer::response("200 OK", deflated, "Content-Encoding: deflate\r\n"));
               socket.disconnectFromHost();
           })
        << BodyCap << FloodTimeoutMs << tooLarge.arg(BodyCap) << 1;
    // Under the real 64 MiB cap, Qt's own check of the inflation ratio (at most 40 to 1 once
    // 10 MiB have been inflated) fails the reply first.
    QTest::newRow("gzip bomb") << Misbehaviour([](QTcpSocket& socket, const QByteArray&, const QByteArray&) {
        Flood(socket, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n" + GzipBombStart,
              GzipBombRepeat.repeated(1024));
    }) << HttpPageFetcher::LargestBody
                               << FloodTimeoutMs << u"Decompression failed: "_s << 1;
}

void TstHostileListSite::failedPageEndsTheRunKeepingEarlierRows()
{
    QFETCH(Misbehaviour, misbehaviour);
    QFETCH(qint64, bodyCap);
    QFETCH(int, timeoutMs);
    QFETCH(QString, why);
    QFETCH(int, requests);

    const HarvestLog log = run(misbehaviour, bodyCap, std::chrono::milliseconds(timeoutMs), u"20"_s);

    // The client offers gzip and deflate and inflates what it gets, so the bomb is a real one.
    const QByteArrayList encodings = AcceptedEncodings(m_secondRequestHead);
    QVERIFY(encodings.contains("gzip") && encodings.contains("deflate"));
    // Down a redirect chain Qt may have asked for a few hops more before it counts one too
    // many; the chain is still cut long before its end.
    const qsizetype asked = m_targets.size() - 1;
    QVERIFY2(requests == 1 ? asked == 1 : asked >= requests && asked < 2 * requests,
             qPrintable(QString::number(asked)));
    QVERIFY2(m_reason.startsWith(why), qPrintable(m_reason));
    QCOMPARE(log,
             (HarvestLog{{0, 100},
                         {u"Retrieving Page 1/20..."_s, u"Retrieving Page 2/20..."_s},
                         20,
                         100,
                         1,
                         u"FetchFailed"_s,
                         true}));
    QCOMPARE(m_table->count(), 100);
}

void TstHostileListSite::garbageBodyIsAPageWithoutRows_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("binary garbage") << Garbage(4096);
    QTest::newRow("NUL bytes only") << QByteArray(64 * 1024, '\0');
    QTest::newRow("line ends only") << QByteArray("\r\n\r\r\n\n").repeated(10000);
    QTest::newRow("markers without cells") << QByteArray("<tr align=\"center\">\n").repeated(500);
    QTest::newRow("bytes that are no UTF-8 around the markers")
        << (Garbage(300) + "\n<tr align=\"center\">\n").repeated(200);
}

// Whatever the bytes, a page that arrived whole is parsed: it gives no rows, the run goes on
// and ends as completed, and the work folder is left empty.
void TstHostileListSite::garbageBodyIsAPageWithoutRows()
{
    QFETCH(QByteArray, body);

    const Misbehaviour answerWithGarbage = [&body](QTcpSocket& socket, const QByteArray&, const QByteArray&) {
        ScriptedHttpServer::answer(socket, "200 OK", body);
    };
    const HarvestLog log = run(answerWithGarbage, BodyCap, std::chrono::milliseconds(RequestTimeoutMs), u"2"_s);

    QCOMPARE(m_targets.size(), 2);
    QCOMPARE(m_table->count(), 100);
    QCOMPARE(log.ending, u"Completed"_s);
    QVERIFY(QDir(m_folder->path()).isEmpty());
}

QTEST_GUILESS_MAIN(TstHostileListSite)
#include "tst_hostilelistsite.moc"
