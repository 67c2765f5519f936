#pragma once

#include "HarvestRun.h"

#include <QTest>
#include <QUrlQuery>

#include <array>

// What a harvest run told, gathered into one value a test compares whole.
struct HarvestLog
{
    QList<int> offsets; // of the pages started, in order
    QStringList pageCaptions; // the first and the last
    int pagesBarMaximum = 0; // as the last page set it
    int rows = 0; // the row count the last appended entry reported
    int pagesDone = 0;
    QString ending;
    bool progressSound = true; // every stage starts at 0 and rises by one per line up to its maximum

    friend bool operator==(const HarvestLog&, const HarvestLog&) = default;
};

inline char* toString(const HarvestLog& log)
{
    QStringList offsets;
    for (int offset : log.offsets)
        offsets.append(QString::number(offset));
    return QTest::toString(
        QStringLiteral("{offsets %1, captions %2, maximum %3, rows %4, pagesDone %5, ending %6, progress %7}")
            .arg(offsets.join(u' '), log.pageCaptions.join(u" | "), QString::number(log.pagesBarMaximum),
                 QString::number(log.rows), QString::number(log.pagesDone), log.ending,
                 log.progressSound ? QStringLiteral("sound") : QStringLiteral("unsound")));
}

// Listens to a run for as long as it lives.
class HarvestRecorder final
{
public:
    explicit HarvestRecorder(HarvestRun& run)
    {
        QObject::connect(&run, &HarvestRun::pageStarted, &run,
                         [this](int number, int pageCount, const QString& pageCountText, const QUrl& address) {
                             log.pagesBarMaximum = pageCount;
                             log.offsets.append(QUrlQuery(address).queryItemValue(QStringLiteral("offset")).toInt());
                             const QString caption = PageCaption(number, pageCountText);
                             if (log.pageCaptions.size() == 2)
                                 log.pageCaptions.removeLast();
                             log.pageCaptions.append(caption);
                         });
        QObject::connect(&run, &HarvestRun::parseProgressed, &run, [this](ParseStage stage, int value, int maximum) {
            const bool rises = value == (stage == m_stage ? m_value + 1 : 0);
            log.progressSound = log.progressSound && (rises || stage == ParseStage::Complete) && value <= maximum;
            m_stage = stage;
            m_value = value;
        });
        QObject::connect(&run, &HarvestRun::entryAppended, &run, [this](int rowCount) { log.rows = rowCount; });
        QObject::connect(&run, &HarvestRun::pageEnded, &run, [this](int pagesDone) { log.pagesDone = pagesDone; });
        QObject::connect(&run, &HarvestRun::finished, &run, [this](HarvestEnding ending, const QString& why) {
            static constexpr std::array Names{"Completed", "Stopped", "FetchFailed", "Failed", "Abandoned"};
            log.ending = QString::fromLatin1(Names.at(std::size_t(ending)));
            reason = why;
        });
    }

    HarvestLog log;
    QString reason;

private:
    ParseStage m_stage = ParseStage::Complete;
    int m_value = 0;
};
