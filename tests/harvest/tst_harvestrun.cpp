#include "ClosedPort.h"
#include "CountingYielder.h"
#include "DemoListSite.h"
#include "FakeHarvestControls.h"
#include "HarvestRun.h"
#include "HttpPageFetcher.h"
#include "ProxyTable.h"
#include "RecordingPrompter.h"
#include "ScriptedHttpServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QByteArrayList Targets(std::initializer_list<int> offsets)
{
    QByteArrayList targets;
    for (int offset : offsets)
        targets.append("/index.pl/proxy_list?order=&offset=" + QByteArray::number(offset));
    return targets;
}

QByteArrayList TargetsUpTo(int pages)
{
    QByteArrayList targets;
    for (int page = 0; page < pages; ++page)
        targets.append(Targets({page * 100}));
    return targets;
}

int OffsetOf(const QByteArray& target)
{
    return target.mid(target.lastIndexOf('=') + 1).toInt();
}

} // namespace

class TstHarvestRun final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void fetchesTheChosenPages_data();
    void fetchesTheChosenPages();
    void cancelIsHonouredAtThePageBoundary_data();
    void cancelIsHonouredAtThePageBoundary();
    void pageCountTypedDuringTheRunTakesEffect_data();
    void pageCountTypedDuringTheRunTakesEffect();
    void unreachableSiteEndsSilently();
    void answersThatStillCountAsPages_data();
    void answersThatStillCountAsPages();
    void redirectOnTheSameServerIsFollowed();
    void startWhileStoppingIsRefused();
    void abandonStopsInTheMiddleOfAPage();

private:
    void makeRun(const QString& authority, std::chrono::milliseconds timeout = 5s, qint64 largestBody = 1 << 20);
    QByteArrayList runAgainstDemoSite();

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<DemoListSite> m_site;
    std::unique_ptr<HttpPageFetcher> m_fetcher;
    std::unique_ptr<FakeHarvestControls> m_controls;
    std::unique_ptr<ProxyTable> m_table;
    CountingYielder m_yielder;
    RecordingPrompter m_prompter;
    std::unique_ptr<HarvestRun> m_run;
    QByteArrayList m_requested;
};

void TstHarvestRun::init()
{
    m_run.reset();
    m_folder = std::make_unique<QTemporaryDir>();
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{});
    QVERIFY(m_site->listen());
    m_controls = std::make_unique<FakeHarvestControls>();
    m_table = std::make_unique<ProxyTable>();
    m_yielder = {};
    m_prompter.messages.clear();
    m_requested.clear();
    // Every page the run asks for is seen here through the caption it sets before the fetch.
    m_controls->pages.onCaption = [this](const QString& caption) {
        if (caption.startsWith(u"Retrieving Page "_s))
            m_requested.append(caption.toUtf8());
    };
}

void TstHarvestRun::makeRun(const QString& authority, std::chrono::milliseconds timeout, qint64 largestBody)
{
    m_fetcher = std::make_unique<HttpPageFetcher>(timeout, largestBody);
    m_run = std::make_unique<HarvestRun>(*m_controls, *m_table, HarvestRun::Services{*m_fetcher, m_yielder, m_prompter},
                                         m_folder->path(), authority);
}

QByteArrayList TstHarvestRun::runAgainstDemoSite()
{
    makeRun(u"127.0.0.1:"_s + QString::number(m_site->serverPort()));
    m_run->Command1_Click();
    return m_requested;
}

void TstHarvestRun::fetchesTheChosenPages_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clamped");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("pagesMaximum");
    QTest::newRow("default 20") << u"20"_s << u"20"_s << 20 << 20;
    QTest::newRow("three") << u"3"_s << u"3"_s << 3 << 3;
    QTest::newRow("zero raised to one") << u"0"_s << u"1"_s << 1 << 1;
    QTest::newRow("negative raised to one") << u"-5"_s << u"1"_s << 1 << 1;
    QTest::newRow("no number treated as below one") << u"many"_s << u"1"_s << 1 << 1;
    QTest::newRow("empty treated as below one") << QString() << u"1"_s << 1 << 1;
    QTest::newRow("above 20 lowered") << u"25"_s << u"20"_s << 20 << 20;
    QTest::newRow("fraction above 20 lowered") << u"20.4"_s << u"20"_s << 20 << 20;
    QTest::newRow("fraction kept, half to even") << u"2.5"_s << u"2.5"_s << 2 << 2;
    QTest::newRow("fraction kept, rounded up") << u"1.5"_s << u"1.5"_s << 1 << 2;
    QTest::newRow("blanks around allowed") << u" 3 "_s << u" 3 "_s << 3 << 3;
}

void TstHarvestRun::fetchesTheChosenPages()
{
    QFETCH(QString, typed);
    QFETCH(QString, clamped);
    QFETCH(int, pages);
    QFETCH(int, pagesMaximum);
    m_controls->pageCount = typed;

    const QByteArrayList requested = runAgainstDemoSite();

    QCOMPARE(m_controls->pageCount, clamped);
    QCOMPARE(requested.size(), pages);
    QCOMPARE(requested.first(), u"Retrieving Page 1/%1..."_s.arg(clamped).toUtf8());
    QCOMPARE(m_site->targetsServed(), TargetsUpTo(pages));
    QCOMPARE(m_table->count(), pages * 100);
    QCOMPARE(m_controls->received, QString::number(pages * 100));
    QCOMPARE(m_controls->pages.maximum(), pagesMaximum);
    QCOMPARE(m_controls->pages.value(), 0);
    QCOMPARE(m_controls->pages.caption(), u"Extraction Completed."_s);
    QCOMPARE(m_controls->page.caption(), u"Extraction Completed."_s);
    QCOMPARE(m_controls->start, u"&Get List!"_s);
    QVERIFY(m_controls->listActionsEnabled);
    QVERIFY(m_prompter.messages.isEmpty());
    QVERIFY(QDir(m_folder->path()).isEmpty());
}

void TstHarvestRun::cancelIsHonouredAtThePageBoundary_data()
{
    QTest::addColumn<QString>("pageCount");
    QTest::addColumn<int>("cancelOnPage");
    QTest::newRow("page 3 of 20") << u"20"_s << 3;
    QTest::newRow("the last page") << u"2"_s << 2;
}

void TstHarvestRun::cancelIsHonouredAtThePageBoundary()
{
    QFETCH(QString, pageCount);
    QFETCH(int, cancelOnPage);
    m_controls->pageCount = pageCount;
    // The click comes while the page is parsed, as the parser yields to window events.
    m_yielder.onYield = [this, cancelOnPage](int) {
        if (m_requested.size() == cancelOnPage && m_controls->start == u"&Cancel"_s)
            m_run->Command1_Click();
    };

    runAgainstDemoSite();

    QCOMPARE(m_site->targetsServed().size(), cancelOnPage);
    QCOMPARE(m_table->count(), cancelOnPage * 100);
    QCOMPARE(m_controls->pages.caption(), u"Stopped."_s);
    QCOMPARE(m_controls->page.caption(), u"Stopped."_s);
    QCOMPARE(m_controls->page.value(), 0);
    QCOMPARE(m_controls->pages.value(), 0);
    QCOMPARE(m_controls->start, u"&Get List!"_s);
    QVERIFY(m_controls->listActionsEnabled);
    QVERIFY(!m_run->isActive());
}

void TstHarvestRun::pageCountTypedDuringTheRunTakesEffect_data()
{
    QTest::addColumn<QString>("typedOnPage2");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QByteArray>("lastCaption");
    QTest::newRow("raised above 20") << u"30"_s << 30 << QByteArray("Retrieving Page 30/30...");
    QTest::newRow("lowered") << u"3"_s << 3 << QByteArray("Retrieving Page 3/3...");
}

void TstHarvestRun::pageCountTypedDuringTheRunTakesEffect()
{
    QFETCH(QString, typedOnPage2);
    QFETCH(int, pages);
    QFETCH(QByteArray, lastCaption);
    m_yielder.onYield = [this, typedOnPage2](int) {
        if (m_requested.size() == 2)
            m_controls->pageCount = typedOnPage2;
    };
    const QByteArrayList requested = runAgainstDemoSite();
    QCOMPARE(requested.size(), pages);
    QCOMPARE(requested.last(), lastCaption);
    QCOMPARE(m_table->count(), pages * 100);
    QCOMPARE(m_controls->pages.caption(), u"Extraction Completed."_s);
}

void TstHarvestRun::unreachableSiteEndsSilently()
{
    m_table->append({u"1.1.1.1"_s, u"1"_s, u"old"_s, u"row"_s, u"x"_s});
    makeRun(u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort()));
    m_run->Command1_Click();
    QCOMPARE(m_table->count(), 0);
    QVERIFY(!m_controls->listActionsEnabled);
    QCOMPARE(m_controls->pages.caption(), u"Retrieving Page 1/20..."_s);
    QCOMPARE(m_controls->pages.value(), 0);
    QCOMPARE(m_controls->start, u"&Get List!"_s);
    QVERIFY(m_prompter.messages.isEmpty());
}

void TstHarvestRun::answersThatStillCountAsPages_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body"); // empty: the demo site's page
    QTest::addColumn<int>("rowsPerPage");
    const QByteArray marker = "<tr align=\"center\">\n";
    QByteArray fewMarkers;
    for (int i = 0; i < 4; ++i)
        fewMarkers += marker + "<td>header</td>\n";
    QTest::newRow("error status with a body") << QByteArray("500 Internal Server Error") << QByteArray() << 100;
    QTest::newRow("not found with a body") << QByteArray("404 Not Found") << QByteArray() << 100;
    QTest::newRow("page without row markers") << QByteArray("200 OK") << QByteArray("<html>No list today</html>") << 0;
    QTest::newRow("fewer than five markers") << QByteArray("200 OK") << fewMarkers << 0;
    QTest::newRow("markers indented with tabs")
        << QByteArray("200 OK")
        << QByteArray(DemoListSite(DemoListSite::Options{}).page(0)).replace(marker, "\t" + marker) << 0;
    QTest::newRow("one 10 MB line") << QByteArray("200 OK") << QByteArray(10 << 20, 'x') << 0;
}

void TstHarvestRun::answersThatStillCountAsPages()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);
    QFETCH(int, rowsPerPage);
    const DemoListSite& site = *m_site;
    ScriptedHttpServer server([&site, &status, &body](QTcpSocket& socket, const QByteArray& target) {
        ScriptedHttpServer::answer(socket, status, body.isEmpty() ? site.page(OffsetOf(target)) : body);
    });
    m_controls->pageCount = u"2"_s;
    makeRun(server.authority(), 5s, 16 << 20);
    m_run->Command1_Click();

    QCOMPARE(server.targets(), Targets({0, 100}));
    QCOMPARE(m_table->count(), 2 * rowsPerPage);
    QCOMPARE(m_controls->pages.caption(), u"Extraction Completed."_s);
    QCOMPARE(m_controls->listActionsEnabled, rowsPerPage > 0);
}

void TstHarvestRun::redirectOnTheSameServerIsFollowed()
{
    const DemoListSite& site = *m_site;
    ScriptedHttpServer server([&site](QTcpSocket& socket, const QByteArray& target) {
        if (target.startsWith("/moved/"))
            return ScriptedHttpServer::answer(socket, "200 OK", site.page(OffsetOf(target)));
        socket.write(ScriptedHttpServer::response(
            "302 Found", {}, "Location: /moved/?offset=" + QByteArray::number(OffsetOf(target)) + "\r\n"));
        socket.disconnectFromHost();
    });
    m_controls->pageCount = u"2"_s;
    makeRun(server.authority());
    m_run->Command1_Click();
    QCOMPARE(server.targets(),
             (QByteArrayList{"/index.pl/proxy_list?order=&offset=0", "/moved/?offset=0",
                             "/index.pl/proxy_list?order=&offset=100", "/moved/?offset=100"}));
    QCOMPARE(m_table->count(), 200);
}

void TstHarvestRun::startWhileStoppingIsRefused()
{
    m_yielder.onYield = [this](int) {
        if (m_requested.size() == 2 && m_controls->start == u"&Cancel"_s) {
            m_run->Command1_Click(); // cancel
            m_run->Command1_Click(); // and at once start again
        }
    };
    runAgainstDemoSite();
    QCOMPARE(m_site->targetsServed().size(), 2);
    QCOMPARE(m_prompter.messages.size(), 1);
    QCOMPARE(m_prompter.messages.first().style, MessageStyle::Information);
    QCOMPARE(m_controls->pages.caption(), u"Stopped."_s);
}

void TstHarvestRun::abandonStopsInTheMiddleOfAPage()
{
    m_yielder.onYield = [this](int yields) {
        if (yields == 40)
            m_run->abandon();
    };
    runAgainstDemoSite();
    QCOMPARE(m_site->targetsServed().size(), 1);
    QVERIFY(m_table->count() < 100);
    QCOMPARE(m_controls->pages.caption(), u"Retrieving Page 1/20..."_s);
    QVERIFY(!m_controls->listActionsEnabled);
}

QTEST_GUILESS_MAIN(TstHarvestRun)
#include "tst_harvestrun.moc"
