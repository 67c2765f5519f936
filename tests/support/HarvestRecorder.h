#pragma once

#include "CountingYielder.h"
#include "HarvestRun.h"
#include "HttpPageFetcher.h"
#include "ProxyTable.h"

#include <QAbstractItemModelTester>
#include <QDebug>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

// The parse bar's reports, one item a stretch: "Parsing Data... 0-36/37" began at 0 and rose by
// one per report to 36 under the maximum 37; any other step starts a new item.
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

// The stages the parse bar shows for a whole page, in order.
inline const QStringList PageStages{StageCaption(ParseStage::Parsing), StageCaption(ParseStage::Extracting),
                                    StageCaption(ParseStage::Complete)};

// What a harvest run told, gathered into one value a test compares whole.
struct HarvestLog
{
    QList<int> offsets; // of the pages started, in order
    QStringList pageCaptions; // the first and the last
    int pagesBarMaximum = 0; // as the last page set it
    int rows = 0; // the row count the last appended entry reported
    int pagesDone = 0;
    HarvestEnding ending{};
    QStringList firstPageStages;

    friend bool operator==(const HarvestLog&, const HarvestLog&) = default;
};

inline char* toString(const HarvestLog& log)
{
    QString text;
    QDebug(&text) << log.offsets << log.pageCaptions << "maximum" << log.pagesBarMaximum << "rows" << log.rows << "done"
                  << log.pagesDone << int(log.ending) << log.firstPageStages;
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
        // The model is checked through every change of the first three pages, the emptying of the
        // table included; the checks read every row after each change, too slow for more rows.
        std::optional<QAbstractItemModelTester> modelTester;
        modelTester.emplace(&table.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QObject::connect(&run, &HarvestRun::pageStarted, &run,
                         [&](int number, int pagesMaximum, const QString& pageCountText, const QUrl& address) {
                             if (number > 3)
                                 modelTester.reset();
                             log.pagesBarMaximum = pagesMaximum;
                             log.offsets.append(QUrlQuery(address).queryItemValue(QStringLiteral("offset")).toInt());
                             log.pageCaptions = log.pageCaptions.mid(0, 1) << PageCaption(number, pageCountText);
                         });
        QObject::connect(&run, &HarvestRun::parseProgressed, &run, [&log](ParseStage stage) {
            if (log.offsets.size() == 1 && !log.firstPageStages.endsWith(StageCaption(stage)))
                log.firstPageStages.append(StageCaption(stage));
        });
        QObject::connect(&run, &HarvestRun::entryAppended, &run, [&log](int rowCount) { log.rows = rowCount; });
        QObject::connect(&run, &HarvestRun::pageEnded, &run, [&log](int pagesDone) { log.pagesDone = pagesDone; });
        QObject::connect(&run, &HarvestRun::finished, &run, [&](HarvestEnding ending, const QString& why) {
            log.ending = ending;
            reason = why;
        });
        run.start([&pageCount] { return pageCount; });
        return log;
    }
};
