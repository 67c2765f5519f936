#include "HarvestRun.h"

#include "EventYielder.h"
#include "PageFetcher.h"
#include "ProxyTable.h"
#include "TextFiles.h"
#include "TextNumber.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

constexpr int OffsetStep = 100;

} // namespace

HarvestRun::HarvestRun(ProxyTable& table, Services services, QString workFolder, QString siteAuthority, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_services(services)
    , m_parser(table, services.yielder, std::move(workFolder))
    , m_siteAuthority(std::move(siteAuthority))
{
    connect(&m_parser, &PageParser::stageBeginning, this, &HarvestRun::parseStageBeginning);
    connect(&m_parser, &PageParser::progressed, this, &HarvestRun::parseProgressed);
    connect(&m_parser, &PageParser::entryAppended, this, &HarvestRun::entryAppended);
}

QUrl HarvestRun::listAddress(int offset) const
{
    return QUrl(u"http://"_s + m_siteAuthority + u"/index.pl/proxy_list?order=&offset="_s + QString::number(offset),
                QUrl::StrictMode);
}

HarvestEnding HarvestRun::start(const PageCountSource& pageCount)
{
    Q_ASSERT(!m_active);
    m_active = true;
    m_cancelRequested = false;
    const Ending ending = RetrievePages(pageCount);
    m_active = false;
    Q_EMIT finished(ending.ending, ending.reason);
    return ending.ending;
}

void HarvestRun::requestCancel()
{
    m_cancelRequested = true;
}

void HarvestRun::abandon()
{
    m_abandoned = true;
    m_parser.abandon();
    m_services.fetcher.cancel();
}

// The count is read before every page, so a count typed during the run takes effect at the
// next page boundary; the loop test comes before the cancel test, so a cancel asked for
// during the last page still ends the run as stopped.
HarvestRun::Ending HarvestRun::RetrievePages(const PageCountSource& pageCount)
{
    m_table.clear();
    Q_EMIT started();
    for (int offset = 0, number = 1;; offset += OffsetStep, ++number) {
        const QString pageCountText = pageCount();
        const std::optional<double> count = TextToNumber(pageCountText);
        if (!count)
            return {HarvestEnding::Failed, u"The page count is not a number."_s};
        if (!(offset <= (*count - 1) * OffsetStep))
            break;
        if (m_cancelRequested) {
            m_services.fetcher.cancel();
            break;
        }
        Ending page = harvestPage(offset, number, pageCountText, *count);
        if (page.ending != HarvestEnding::Completed)
            return page;
        Q_EMIT pageEnded(number);
        // However fast the page went, a click that came during it is seen before the next
        // page is asked for.
        m_services.yielder.yieldNow();
        if (m_abandoned)
            return {HarvestEnding::Abandoned, {}};
    }
    return {m_cancelRequested ? HarvestEnding::Stopped : HarvestEnding::Completed, {}};
}

HarvestRun::Ending HarvestRun::harvestPage(int offset, int number, const QString& pageCountText, double pageCount)
{
    const QString pagePath = m_parser.pageFilePath();
    if (DeleteFile(pagePath) == FileStatus::Failed)
        return {HarvestEnding::Failed, u"The page file %1 could not be deleted."_s.arg(pagePath)};
    const std::optional<int> pagesMaximum = RoundHalfToEven(pageCount);
    if (!pagesMaximum)
        return {HarvestEnding::Failed, u"The page count is too large."_s};
    const QUrl address = listAddress(offset);
    Q_EMIT pageStarted(number, *pagesMaximum, pageCountText, address);

    {
        QFile page(pagePath);
        if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {HarvestEnding::Failed, page.errorString()};
        const FetchResult fetched = m_services.fetcher.fetch(address, page);
        if (m_abandoned)
            return {HarvestEnding::Abandoned, {}};
        if (!fetched.ok)
            return {HarvestEnding::FetchFailed, fetched.error};
        if (page.write("\r\n", 2) != 2 || !page.flush())
            return {HarvestEnding::Failed, page.errorString()};
    }
    m_parser.ParsePage();
    return {m_abandoned ? HarvestEnding::Abandoned : HarvestEnding::Completed, {}};
}
