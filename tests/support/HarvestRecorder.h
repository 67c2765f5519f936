#pragma once

#include "CountingYielder.h"
#include "HarvestRun.h"
#include "HttpPageFetcher.h"
#include "ProxyTable.h"

#include <QDebug>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

// The parse bar's reports, one item a stretch: "Parsing Data... 0-817/824" began at 0 and rose
// by one per report to 817 under the maximum 824; any other step starts a new item.
class ProgressTrail final
{
public:
    void follow(ParseStage stage, int value, int maximum)
    {
        const QString caption = StageCaption(stage) + u' ';
        const QString of = u'/' + QString::number(maximum);
        if (items.isEmpty() || value != m_last + 1 || !items.last().startsWith(caption) || !items.last().endsWith(of)) {
            m_first = value;
            items.append(QString());
        }
        m_last = value;
        const QString range = QString::number(m_first) + (value == m_first ? QString() : u'-' + QString::number(value));
        items.last() = caption + range + of;
    }

    QStringList items;

private:
    int m_first = 0;
    int m_last = 0;
};

// A demo page is 823 lines, then the run's line end; its 105th row marker (the next-page row)
// ends the first pass unreported after 817 lines, with 100 rows of seven cell lines and one.
inline const QStringList DemoPageProgress{QStringLiteral("Parsing Data... 0-817/824"),
                                          QStringLiteral("Extracting Proxys... 0-701/701"),
                                          QStringLiteral("Current Page Extraction Complete. 0/701")};

// What a harvest run told, gathered into one value a test compares whole.
struct HarvestLog
{
    QList<int> offsets; // of the pages started, in order
    QStringList pageCaptions; // the first and the last
    int pagesBarMaximum = 0; // as the last page set it
    int rows = 0; // the row count the last appended entry reported
    int pagesDone = 0;
    HarvestEnding ending{};
    QStringList firstPageProgress;

    friend bool operator==(const HarvestLog&, const HarvestLog&) = default;
};

inline char* toString(const HarvestLog& log)
{
    QString text;
    QDebug(&text) << log.offsets << log.pageCaptions << "maximum" << log.pagesBarMaximum << "rows" << log.rows << "done"
                  << log.pagesDone << int(log.ending) << log.firstPageProgress;
    return QTest::toString(text);
}

// Runs harvests into a table that held a row of an earlier run, with real page files in a
// fresh folder, and records what each run told.
class HarvestRecorder final
{
public:
    // Runs at every yield of the run, as a click handled there would; it may change the count.
    std::function<void(HarvestRun& run, QString& pageCount)> onYield = [](HarvestRun&, QString&) {};
    QString reason; // why the last run failed

    HarvestLog run(const QString& authority, QString pageCount, std::chrono::milliseconds timeout, qint64 bodyCap)
    {
        QTemporaryDir folder;
        ProxyTable table;
        table.append({QStringLiteral("1.1.1.1"), {}, {}, {}, {}});
        HttpPageFetcher fetcher(timeout, bodyCap);
        CountingYielder yielder;
        HarvestRun run(table, HarvestRun::Services{fetcher, yielder}, folder.path(), authority);
        yielder.onYield = [&](int) { onYield(run, pageCount); };
        HarvestLog log;
        ProgressTrail trail;
        QObject::connect(&run, &HarvestRun::pageStarted, &run,
                         [&log](int number, int pageCount, const QString& pageCountText, const QUrl& address) {
                             log.pagesBarMaximum = pageCount;
                             log.offsets.append(QUrlQuery(address).queryItemValue(QStringLiteral("offset")).toInt());
                             log.pageCaptions = log.pageCaptions.mid(0, 1) << PageCaption(number, pageCountText);
                         });
        QObject::connect(&run, &HarvestRun::parseProgressed, &run, [&](ParseStage stage, int value, int maximum) {
            if (log.offsets.size() == 1)
                trail.follow(stage, value, maximum);
        });
        QObject::connect(&run, &HarvestRun::entryAppended, &run, [&log](int rowCount) { log.rows = rowCount; });
        QObject::connect(&run, &HarvestRun::pageEnded, &run, [&log](int pagesDone) { log.pagesDone = pagesDone; });
        QObject::connect(&run, &HarvestRun::finished, &run, [&](HarvestEnding ending, const QString& why) {
            log.ending = ending;
            reason = why;
        });
        run.start([&pageCount] { return pageCount; });
        log.firstPageProgress = trail.items;
        return log;
    }
};
