#include "HarvestCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "HarvestRun.h"
#include "ListFileWriter.h"
#include "WorkFolder.h"

#include <QUrlQuery>

using namespace Qt::StringLiterals;

HarvestCommand::HarvestCommand(HarvestRequest request, Console& console, PageFetcher& fetcher, EventYielder& yielder)
    : m_request(std::move(request))
    , m_console(console)
    , m_reporter(console, ProgressReporter::modeFor(m_request.quiet))
    , m_fetcher(fetcher)
    , m_yielder(yielder)
{
}

int HarvestCommand::run()
{
    const std::optional<HarvestEnding> ending = harvest();
    m_reporter.finish();
    if (!ending)
        return ExitStatus::FileFailure;
    if (*ending == HarvestEnding::Abandoned) {
        m_console.tell(u"stopped at once; nothing was written"_s);
        return ExitStatus::Stopped;
    }
    const int verdict = endingStatus(*ending);
    const int written = writeList();
    return written != ExitStatus::Done ? written : verdict;
}

void HarvestCommand::interrupt()
{
    if (!m_run)
        return;
    if (!m_run->cancelRequested()) {
        m_reporter.warn(u"stopping after the page in progress; Ctrl+C again stops at once"_s);
        m_run->requestCancel();
        return;
    }
    m_run->abandon();
}

// The work folder lives as long as the run: nothing of it is left once the list is written.
std::optional<HarvestEnding> HarvestCommand::harvest()
{
    const WorkFolder folder;
    if (!folder.isValid()) {
        m_console.tell(u"cannot make a work folder for the page files: "_s + folder.errorString());
        return std::nullopt;
    }
    HarvestRun run(m_table, {m_fetcher, m_yielder}, folder.path(), m_request.site.authority());
    listen(run);
    m_run = &run;
    const HarvestEnding ending = run.start([pageCount = ClampedPageCount(m_request.pageCount)] { return pageCount; });
    m_run = nullptr;
    return ending;
}

void HarvestCommand::listen(HarvestRun& run)
{
    QObject::connect(&run, &HarvestRun::pageStarted, &run,
                     [this](int number, int, const QString& pageCountText, const QUrl& address) {
                         m_page = {number, address, m_table.count()};
                         m_reporter.setCaption(PageCaption(number, pageCountText));
                         m_reporter.pageStarted();
                     });
    QObject::connect(&run, &HarvestRun::parseProgressed, &run,
                     [this](ParseStage, int value, int maximum) { m_reporter.setPageProgress(value, maximum); });
    QObject::connect(&run, &HarvestRun::entryAppended, &run,
                     [this](int rowCount) { m_reporter.setRows(QString::number(rowCount)); });
    QObject::connect(&run, &HarvestRun::pageEnded, &run, [this] { onPageEnded(); });
    QObject::connect(&run, &HarvestRun::finished, &run, [this](HarvestEnding ending, const QString& reason) {
        m_failure = reason;
        if (const QString verdict = EndingCaption(ending); !verdict.isEmpty())
            m_reporter.setCaption(verdict);
    });
}

// A failure keeps the rows harvested before it, as the window's table does: they are still
// written, and the status tells the failure.
int HarvestCommand::endingStatus(HarvestEnding ending)
{
    switch (ending) {
    case HarvestEnding::FetchFailed:
        m_console.tell(u"cannot fetch page %1 (%2): %3"_s.arg(QString::number(m_page.number),
                                                              m_page.address.toDisplayString(), m_failure));
        return ExitStatus::Unreachable;
    case HarvestEnding::Failed:
        m_console.tell(u"the harvest cannot go on: "_s + m_failure);
        return ExitStatus::FileFailure;
    case HarvestEnding::Stopped:
    case HarvestEnding::Abandoned:
        return ExitStatus::Stopped;
    case HarvestEnding::Completed:
        break;
    }
    if (m_table.count() == 0) {
        m_console.tell(u"no proxy rows found on any page"_s);
        return ExitStatus::No;
    }
    return ExitStatus::Done;
}

// An empty table writes nothing, not even an empty file: the window's save is not offered then.
int HarvestCommand::writeList()
{
    if (m_table.count() == 0)
        return ExitStatus::Done;
    const ListFileWriter writer(m_request.format);
    if (m_request.outputFile) {
        const SaveResult saved = writer.append(*m_request.outputFile, m_table);
        if (saved.ok)
            return ExitStatus::Done;
        m_console.tell(saved.error);
        return ExitStatus::FileFailure;
    }
    if (m_console.writeOut(writer.text(m_table)))
        return ExitStatus::Done;
    m_console.tell(u"cannot write the list to standard output: "_s + m_console.outError());
    return ExitStatus::FileFailure;
}

// A page without rows does not stop the run, but it is how a changed site shows.
void HarvestCommand::onPageEnded()
{
    m_reporter.pageDone();
    if (m_table.count() != m_page.rowsBefore)
        return;
    const QString offset = QUrlQuery(m_page.address).queryItemValue(u"offset"_s);
    m_reporter.warn(u"page %1 (offset %2): no proxy rows found — the page layout may have changed"_s.arg(
        QString::number(m_page.number), offset));
}
