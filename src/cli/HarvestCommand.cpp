#include "HarvestCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "HarvestRun.h"
#include "ListFileWriter.h"
#include "TextNumber.h"
#include "WorkFolder.h"

#include <QCommandLineParser>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

HarvestCommand::HarvestCommand(Console& console, PageFetcher& fetcher, EventYielder& yielder)
    : m_console(console)
    , m_fetcher(fetcher)
    , m_yielder(yielder)
{
}

QString HarvestCommand::name() const
{
    return u"harvest"_s;
}

QString HarvestCommand::synopsis() const
{
    return u"[--pages N] [--site HOST[:PORT]] [--format ip-port|all] [--separator TEXT] [-o FILE] [--quiet]"_s;
}

QString HarvestCommand::help() const
{
    return uR"(fetches N pages of the list (1 to 20, default 20) and writes one line per proxy
  --pages N            the number of pages, as the window's page box takes it
  --site HOST[:PORT]   fetch the pages from HOST instead of the list site
  --format ip-port|all address, separator and port (the default), or the five fields
                       separated by tabs
  --separator TEXT     what goes between address and port (default ":")
  -o, --output FILE    append the list to FILE instead of writing it to standard output
  -q, --quiet          no progress on standard error; warnings and errors still come
  Ctrl+C stops after the page in progress and writes the rows so far; a second Ctrl+C
  stops at once and writes nothing. SIGTERM and SIGHUP count as Ctrl+C.
)"_s;
}

QList<QCommandLineOption> HarvestCommand::options() const
{
    return {m_pages, m_site, m_format, m_separator, m_output, m_quiet};
}

std::optional<QString> HarvestCommand::read(const QCommandLineParser& parsed)
{
    if (!parsed.positionalArguments().isEmpty())
        return u"unexpected argument \"%1\""_s.arg(parsed.positionalArguments().constFirst());
    // Any number goes to the run, which takes it as the window's page box would; a text that is
    // no number at all is refused here, where a script can be told.
    if (parsed.isSet(m_pages))
        m_request.pageCount = parsed.value(m_pages);
    if (!TextToNumber(m_request.pageCount))
        return u"invalid --pages value \"%1\": expected a number of pages from 1 to 20"_s.arg(m_request.pageCount);

    const std::variant<HostPort, QString> site =
        ReadServerOption(parsed, m_site, {QString::fromLatin1(HarvestRun::DefaultSiteHost), {}});
    if (const auto* refused = std::get_if<QString>(&site))
        return *refused;
    m_request.site = std::get<HostPort>(site);

    const QString format = parsed.isSet(m_format) ? parsed.value(m_format) : u"ip-port"_s;
    if (format == u"all"_s) {
        if (parsed.isSet(m_separator))
            return u"--separator goes with --format ip-port only"_s;
        m_request.format = {ListFormat::Layout::AllData, {}};
    } else if (format == u"ip-port"_s) {
        m_request.format = {ListFormat::Layout::AddressAndPort,
                            parsed.isSet(m_separator) ? parsed.value(m_separator) : u":"_s};
    } else {
        return u"invalid --format value \"%1\": expected ip-port or all"_s.arg(format);
    }

    if (parsed.isSet(m_output)) {
        if (parsed.value(m_output).isEmpty())
            return u"-o needs a file name"_s;
        m_request.outputFile = parsed.value(m_output);
    }
    m_request.quiet = parsed.isSet(m_quiet);
    return std::nullopt;
}

int HarvestCommand::run()
{
    m_reporter.emplace(m_console, ProgressReporter::modeFor(m_request.quiet));
    const std::optional<HarvestEnding> ending = harvest();
    m_reporter->finish();
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
        m_reporter->warn(u"stopping after the page in progress; Ctrl+C again stops at once"_s);
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
                         m_reporter->setCaption(PageCaption(number, pageCountText));
                         m_reporter->pageStarted();
                     });
    QObject::connect(&run, &HarvestRun::parseProgressed, &run,
                     [this](ParseStage, int value, int maximum) { m_reporter->setPageProgress(value, maximum); });
    QObject::connect(&run, &HarvestRun::entryAppended, &run,
                     [this](int rowCount) { m_reporter->setRows(QString::number(rowCount)); });
    QObject::connect(&run, &HarvestRun::pageEnded, &run, [this] { onPageEnded(); });
    QObject::connect(&run, &HarvestRun::finished, &run, [this](HarvestEnding ending, const QString& reason) {
        m_failure = reason;
        if (const QString verdict = EndingCaption(ending); !verdict.isEmpty())
            m_reporter->setCaption(verdict);
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
    m_reporter->pageDone();
    if (m_table.count() != m_page.rowsBefore)
        return;
    const QString offset = QUrlQuery(m_page.address).queryItemValue(u"offset"_s);
    m_reporter->warn(u"page %1 (offset %2): no proxy rows found — the page layout may have changed"_s.arg(
        QString::number(m_page.number), offset));
}
