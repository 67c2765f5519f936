#include "DemoListSite.h"
#include "HarvestRecorder.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The run through what it tells, against the demo site on loopback.
class TstHarvestRun final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void readsTheCountBeforeEveryPageAndStopsAtTheBoundary_data();
    void readsTheCountBeforeEveryPageAndStopsAtTheBoundary();
    void abandonStopsInTheMiddleOfAPage();

private:
    std::unique_ptr<DemoListSite> m_site;
    HarvestRecorder m_recorder;
};

void TstHarvestRun::init()
{
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{});
    QVERIFY(m_site->listen());
}

void TstHarvestRun::readsTheCountBeforeEveryPageAndStopsAtTheBoundary_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("typedOnPage2"); // empty: nothing typed during the run
    QTest::addColumn<int>("cancelOnPage"); // 0: no cancel
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("pagesBarMaximum");
    QTest::newRow("fraction: half to even") << u"2.5"_s << QString() << 0 << 2 << 2;
    QTest::newRow("fraction: rounded up") << u"1.5"_s << QString() << 0 << 1 << 2;
    QTest::newRow("raised above 20 during the run") << u"20"_s << u"30"_s << 0 << 30 << 30;
    QTest::newRow("lowered during the run") << u"20"_s << u"3"_s << 0 << 3 << 3;
    // The click comes while a page is parsed: that page is completed, no later one is asked for.
    QTest::newRow("cancel on page 3 of 20") << u"20"_s << QString() << 3 << 3 << 20;
    QTest::newRow("cancel on the last page") << u"2"_s << QString() << 2 << 2 << 2;
}

void TstHarvestRun::readsTheCountBeforeEveryPageAndStopsAtTheBoundary()
{
    QFETCH(QString, count);
    QFETCH(QString, typedOnPage2);
    QFETCH(int, cancelOnPage);
    QFETCH(int, pages);
    QFETCH(int, pagesBarMaximum);
    m_recorder.onYield = [&](HarvestRun& run, QString& pageCount) {
        const qsizetype requested = m_site->targetsRequested().size();
        if (requested == 2 && !typedOnPage2.isEmpty())
            pageCount = typedOnPage2;
        if (requested == cancelOnPage)
            run.requestCancel();
    };
    QList<int> offsets;
    for (int page = 0; page < pages; ++page)
        offsets.append(page * 100);
    const QStringList captions{
        u"Retrieving Page 1/"_s + count + u"..."_s,
        u"Retrieving Page %1/%2..."_s.arg(pages).arg(typedOnPage2.isEmpty() ? count : typedOnPage2)};
    QCOMPARE(m_recorder.run(m_site->authority(), count),
             (HarvestLog{offsets, captions.mid(0, pages), pagesBarMaximum, pages * 100, pages,
                         cancelOnPage ? u"Stopped"_s : u"Completed"_s, DemoPageProgress}));
}

// The program ends while the first page is counted: nothing more is read, fetched or added.
void TstHarvestRun::abandonStopsInTheMiddleOfAPage()
{
    m_recorder.onYield = [](HarvestRun& run, QString&) { run.abandon(); };
    QCOMPARE(m_recorder.run(m_site->authority(), u"20"_s),
             (HarvestLog{{0}, {u"Retrieving Page 1/20..."_s}, 20, 0, 0, u"Abandoned"_s, {}}));
}

QTEST_GUILESS_MAIN(TstHarvestRun)
#include "tst_harvestrun.moc"
