#include "HarvestCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "ListFileWriter.h"
#include "WorkFolder.h"

#include <QUrlQuery>

using namespace Qt::StringLiterals;

HarvestCommand::HarvestCommand(HarvestRequest request, Console& console, PageFetcher& fetcher, EventYielder& yielder)
    : m_request(std::move(request))
    , m_console(console)
    , m_reporter(console, ProgressReporter::modeFor(m_request.quiet))
    , m_controls(m_request.pageCount, m_reporter, [this] { onPageDone(); })
    , m_fetcher(fetcher, [this](const QUrl& address) { onPageFetch(address); })
    , m_yielder(yielder)
    , m_prompter(console)
{
}

int HarvestCommand::run()
{
    const std::optional<Outcome> outcome = harvest();
    m_reporter.finish();
    if (!outcome)
        return ExitStatus::FileFailure;
    if (outcome->abandoned) {
        m_console.tell(u"stopped at once; nothing was written"_s);
        return ExitStatus::Stopped;
    }
    const int verdict = verdictStatus(*outcome);
    const int written = writeList();
    return written != ExitStatus::Done ? written : verdict;
}

void HarvestCommand::interrupt()
{
    if (!m_run)
        return;
    if (!m_run->cancelRequested()) {
        m_reporter.warn(u"stopping after the page in progress; Ctrl+C again stops at once"_s);
        m_run->Command1_Click();
        return;
    }
    m_abandoned = true;
    m_run->abandon();
}

// The work folder lives as long as the run: nothing of it is left once the list is written.
std::optional<HarvestCommand::Outcome> HarvestCommand::harvest()
{
    const WorkFolder folder;
    if (!folder.isValid()) {
        m_console.tell(u"cannot make a work folder for the page files: "_s + folder.errorString());
        return std::nullopt;
    }
    HarvestRun run(m_controls, m_table, {m_fetcher, m_yielder, m_prompter}, folder.path(), m_request.site.authority());
    m_run = &run;
    run.Command1_Click();
    m_run = nullptr;
    return Outcome{m_abandoned, run.cancelRequested(), run.lastFailure()};
}

// A failure keeps the rows harvested before it, as the window's table does: they are still
// written, and the status tells the failure.
int HarvestCommand::verdictStatus(const Outcome& outcome)
{
    if (outcome.failure && outcome.failure->fetch) {
        m_console.tell(u"cannot fetch page %1 (%2): %3"_s.arg(
            QString::number(m_page.number), m_page.address.toDisplayString(), outcome.failure->reason));
        return ExitStatus::Unreachable;
    }
    if (outcome.failure) {
        m_console.tell(u"the harvest cannot go on: "_s + outcome.failure->reason);
        return ExitStatus::FileFailure;
    }
    if (outcome.stopped)
        return ExitStatus::Stopped;
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

void HarvestCommand::onPageFetch(const QUrl& address)
{
    m_page = {m_page.number + 1, address, m_table.count()};
    m_reporter.pageStarted();
}

// A page without rows does not stop the run, but it is how a changed site shows.
void HarvestCommand::onPageDone()
{
    m_reporter.pageDone();
    if (m_table.count() != m_page.rowsBefore)
        return;
    const QString offset = QUrlQuery(m_page.address).queryItemValue(u"offset"_s);
    m_reporter.warn(u"page %1 (offset %2): no proxy rows found — the page layout may have changed"_s.arg(
        QString::number(m_page.number), offset));
}
