#include "ClosedPort.h"
#include "CountingYielder.h"
#include "DemoListSite.h"
#include "HarvestRecorder.h"
#include "HttpPageFetcher.h"
#include "ProxyTable.h"
#include "ScriptedHttpServer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QList<int> Offsets(int pages)
{
    QList<int> offsets;
    for (int page = 0; page < pages; ++page)
        offsets.append(page * 100);
    return offsets;
}

int OffsetOf(const QByteArray& target)
{
    return target.mid(target.lastIndexOf('=') + 1).toInt();
}

} // namespace

// The run through what it tells, against real loopback servers and real page files.
class TstHarvestRun final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void clampsOnlyAtTheStart_data();
    void clampsOnlyAtTheStart();
    void fetchesThePagesTheCountAsksFor_data();
    void fetchesThePagesTheCountAsksFor();
    void cancelIsHonouredAtThePageBoundary_data();
    void cancelIsHonouredAtThePageBoundary();
    void endings_data();
    void endings();
    void abandonStopsInTheMiddleOfAPage();

private:
    HarvestLog run(const QString& authority, HarvestRun::PageCountSource pageCount);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<DemoListSite> m_site;
    std::unique_ptr<ProxyTable> m_table;
    CountingYielder m_yielder;
    std::unique_ptr<HarvestRun> m_run;
    QString m_reason;
};

void TstHarvestRun::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{});
    QVERIFY(m_site->listen());
    m_table = std::make_unique<ProxyTable>();
    m_yielder = {};
}

HarvestLog TstHarvestRun::run(const QString& authority, HarvestRun::PageCountSource pageCount)
{
    HttpPageFetcher fetcher(5s, 16 << 20);
    m_run =
        std::make_unique<HarvestRun>(*m_table, HarvestRun::Services{fetcher, m_yielder}, m_folder->path(), authority);
    HarvestRecorder recorder(*m_run);
    m_run->start(pageCount);
    m_reason = recorder.reason;
    return recorder.log;
}

void TstHarvestRun::clampsOnlyAtTheStart_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clamped");
    QTest::newRow("zero") << u"0"_s << u"1"_s;
    QTest::newRow("negative") << u"-5"_s << u"1"_s;
    QTest::newRow("no number") << u"many"_s << u"1"_s;
    QTest::newRow("empty") << QString() << u"1"_s;
    QTest::newRow("above 20") << u"25"_s << u"20"_s;
    QTest::newRow("fraction above 20") << u"20.4"_s << u"20"_s;
    QTest::newRow("fraction kept as typed") << u"1.5"_s << u"1.5"_s;
    QTest::newRow("blanks kept") << u" 3 "_s << u" 3 "_s;
}

void TstHarvestRun::clampsOnlyAtTheStart()
{
    QFETCH(QString, typed);
    QFETCH(QString, clamped);
    QCOMPARE(ClampedPageCount(typed), clamped);
}

void TstHarvestRun::fetchesThePagesTheCountAsksFor_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("typedOnPage2"); // empty: nothing typed during the run
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("pagesBarMaximum");
    QTest::newRow("default 20") << u"20"_s << QString() << 20 << 20;
    QTest::newRow("fraction: half to even") << u"2.5"_s << QString() << 2 << 2;
    QTest::newRow("fraction: rounded up") << u"1.5"_s << QString() << 1 << 2;
    QTest::newRow("raised above 20 during the run") << u"20"_s << u"30"_s << 30 << 30;
    QTest::newRow("lowered during the run") << u"20"_s << u"3"_s << 3 << 3;
}

void TstHarvestRun::fetchesThePagesTheCountAsksFor()
{
    QFETCH(QString, count);
    QFETCH(QString, typedOnPage2);
    QFETCH(int, pages);
    QFETCH(int, pagesBarMaximum);
    const QString first = count;
    m_yielder.onYield = [&](int) {
        if (!typedOnPage2.isEmpty() && m_site->targetsRequested().size() == 2)
            count = typedOnPage2;
    };
    m_table->append({u"1.1.1.1"_s, u"1"_s, u"earlier"_s, u"run"_s, u"x"_s});

    const HarvestLog log = run(m_site->authority(), [&count] { return count; });

    const QStringList captions{u"Retrieving Page 1/%1..."_s.arg(first),
                               u"Retrieving Page %1/%2..."_s.arg(QString::number(pages), count)};
    QCOMPARE(log,
             (HarvestLog{Offsets(pages), pages == 1 ? captions.mid(0, 1) : captions, pagesBarMaximum, pages * 100,
                         pages, u"Completed"_s, true}));
    QCOMPARE(m_table->count(), pages * 100);
    QVERIFY(QDir(m_folder->path()).isEmpty());
}

void TstHarvestRun::cancelIsHonouredAtThePageBoundary_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("cancelOnPage");
    QTest::newRow("page 3 of 20") << u"20"_s << 3;
    QTest::newRow("the last page: the count ends the loop, the run still stopped") << u"2"_s << 2;
}

void TstHarvestRun::cancelIsHonouredAtThePageBoundary()
{
    QFETCH(QString, count);
    QFETCH(int, cancelOnPage);
    // The click comes while the page is parsed, as the parser yields to window events.
    m_yielder.onYield = [this, cancelOnPage](int) {
        if (m_site->targetsRequested().size() == cancelOnPage)
            m_run->requestCancel();
    };
    const HarvestLog log = run(m_site->authority(), [&count] { return count; });
    QCOMPARE(log.offsets, Offsets(cancelOnPage));
    QCOMPARE(log.ending, u"Stopped"_s);
    QCOMPARE(m_table->count(), cancelOnPage * 100);
    QVERIFY(!m_run->isActive());
}

void TstHarvestRun::endings_data()
{
    QTest::addColumn<QByteArray>("status"); // empty: no server at all
    QTest::addColumn<QByteArray>("body"); // empty: the demo site's page
    QTest::addColumn<int>("rowsPerPage");
    QTest::addColumn<QString>("ending");
    QTest::newRow("unreachable") << QByteArray() << QByteArray() << 0 << u"FetchFailed"_s;
    QTest::newRow("error status with a body")
        << QByteArray("500 Internal Server Error") << QByteArray() << 100 << u"Completed"_s;
    QTest::newRow("no row markers") << QByteArray("200 OK") << QByteArray("<html>No list today</html>") << 0
                                    << u"Completed"_s;
}

// A body is a page whatever status came with it; a page without rows does not stop the run;
// an unreachable site ends it silently with the table emptied.
void TstHarvestRun::endings()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(int, rowsPerPage);
    QFETCH(QString, ending);
    const DemoListSite& site = *m_site;
    ScriptedHttpServer server([&site, &status, &body](QTcpSocket& socket, const QByteArray& target) {
        ScriptedHttpServer::answer(socket, status, body.isEmpty() ? site.page(OffsetOf(target)) : body);
    });
    m_table->append({u"1.1.1.1"_s, u"1"_s, u"earlier"_s, u"run"_s, u"x"_s});
    const QString authority =
        status.isEmpty() ? u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort()) : server.authority();

    const HarvestLog log = run(authority, [] { return u"2"_s; });

    QCOMPARE(log.ending, ending);
    QCOMPARE(log.offsets, (status.isEmpty() ? QList<int>{0} : QList<int>{0, 100}));
    QCOMPARE(m_table->count(), 2 * rowsPerPage);
    QCOMPARE(m_reason.isEmpty(), ending != u"FetchFailed"_s);
}

void TstHarvestRun::abandonStopsInTheMiddleOfAPage()
{
    m_yielder.onYield = [this](int yields) {
        if (yields == 40)
            m_run->abandon();
    };
    const HarvestLog log = run(m_site->authority(), [] { return u"20"_s; });
    QCOMPARE(log.offsets, QList<int>{0});
    QCOMPARE(log.ending, u"Abandoned"_s);
    QCOMPARE(log.pagesDone, 0);
    QVERIFY(m_table->count() < 100);
}

QTEST_GUILESS_MAIN(TstHarvestRun)
#include "tst_harvestrun.moc"
