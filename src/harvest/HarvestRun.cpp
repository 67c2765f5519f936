#include "HarvestRun.h"

#include "HarvestControls.h"
#include "MessagePrompter.h"
#include "PageFetcher.h"
#include "ProgressDisplay.h"
#include "ProxyTable.h"
#include "TextNumber.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

constexpr int FewestPages = 1;
constexpr int MostPages = 20;
constexpr int OffsetStep = 100;

} // namespace

HarvestRun::HarvestRun(HarvestControls& controls, ProxyTable& table, Services services, QString workFolder,
                       QString siteAuthority)
    : m_controls(controls)
    , m_table(table)
    , m_services(services)
    , m_parser(controls, table, services.yielder, std::move(workFolder))
    , m_siteAuthority(std::move(siteAuthority))
{
}

QUrl HarvestRun::listAddress(int offset) const
{
    return QUrl(u"http://"_s + m_siteAuthority + u"/index.pl/proxy_list?order=&offset="_s + QString::number(offset),
                QUrl::StrictMode);
}

void HarvestRun::Command1_Click()
{
    const QString startCaption = QString::fromLatin1(StartCaption);
    if (m_controls.startCaption() != startCaption) {
        m_controls.setStartCaption(startCaption);
        m_cancelRequested = true;
        return;
    }
    if (m_active) {
        // After a cancel the button reads "&Get List!" again while the run finishes its page;
        // a second run inside the first would interleave both on one table.
        m_services.prompter.showMessage(
            QStringLiteral("The harvest is still finishing its current page. Start a new one when it has stopped."),
            MessageStyle::Information, MessagePrompter::defaultTitle());
        return;
    }
    m_controls.setStartCaption(QString::fromLatin1(CancelCaption));
    m_cancelRequested = false;
    clampPageCount();

    m_active = true;
    const Ending ending = RetrievePages();
    m_active = false;
    if (ending == Ending::Abandoned)
        return;
    if (m_table.count() >= 1)
        m_controls.setListActionsEnabled(true);
}

void HarvestRun::abandon()
{
    m_abandoned = true;
    m_parser.abandon();
    m_services.fetcher.cancel();
}

// Only the start clamps the count; the run reads the box again before every page, so a count
// typed during the run takes effect at the next page boundary, even above the highest.
void HarvestRun::clampPageCount()
{
    const std::optional<double> typed = TextToNumber(m_controls.pageCountText());
    if (!typed || *typed < FewestPages)
        m_controls.setPageCountText(QString::number(FewestPages));
    if (TextToNumber(m_controls.pageCountText()).value_or(0) > MostPages)
        m_controls.setPageCountText(QString::number(MostPages));
}

HarvestRun::Ending HarvestRun::RetrievePages()
{
    m_lastFailure.reset();
    m_table.clear();
    m_controls.setListActionsEnabled(false);

    Ending ending = Ending::Completed;
    for (int offset = 0, pageNumber = 1;; offset += OffsetStep, ++pageNumber) {
        const std::optional<double> pageCount = TextToNumber(m_controls.pageCountText());
        if (!pageCount) {
            ending = fail(false, QStringLiteral("The page count is not a number."));
            break;
        }
        if (!(offset <= (*pageCount - 1) * OffsetStep))
            break;
        if (m_cancelRequested) {
            m_controls.setListActionsEnabled(false);
            m_services.fetcher.cancel();
            break;
        }
        ending = retrievePage(offset, pageNumber, *pageCount);
        if (ending != Ending::Completed)
            break;
        ProgressDisplay& pages = m_controls.pagesBar();
        pages.setValue(pages.value() + 1);
    }
    if (ending != Ending::Abandoned)
        showVerdict(ending);
    return ending;
}

HarvestRun::Ending HarvestRun::retrievePage(int offset, int pageNumber, double pageCount)
{
    const QString pagePath = m_parser.pageFilePath();
    if (DeleteFile(pagePath) == FileStatus::Failed)
        return fail(false, u"The page file %1 could not be deleted."_s.arg(pagePath));
    const std::optional<int> pagesMaximum = RoundHalfToEven(pageCount);
    if (!pagesMaximum)
        return fail(false, QStringLiteral("The page count is too large."));
    ProgressDisplay& pages = m_controls.pagesBar();
    pages.setMaximum(*pagesMaximum);
    pages.setCaption(u"Retrieving Page "_s + QString::number(pageNumber) + u'/' + m_controls.pageCountText()
                     + u"..."_s);

    {
        QFile page(pagePath);
        if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(false, page.errorString());
        const FetchResult fetched = m_services.fetcher.fetch(listAddress(offset), page);
        if (m_abandoned)
            return Ending::Abandoned;
        if (!fetched.ok)
            return fail(true, fetched.error);
        if (page.write("\r\n", 2) != 2 || !page.flush())
            return fail(false, page.errorString());
    }
    m_parser.ParsePage();
    return m_abandoned ? Ending::Abandoned : Ending::Completed;
}

HarvestRun::Ending HarvestRun::fail(bool fetch, QString reason)
{
    m_lastFailure = Failure{fetch, std::move(reason)};
    return Ending::Failed;
}

void HarvestRun::showVerdict(Ending ending)
{
    m_controls.pagesBar().setValue(0);
    if (ending == Ending::Failed) {
        // A failed run ends silently: both bars keep the captions they had, so the pages bar
        // still names the page that failed.
        m_controls.setStartCaption(QString::fromLatin1(StartCaption));
        return;
    }
    if (m_cancelRequested) {
        m_controls.pageBar().setValue(0);
        m_controls.pageBar().setCaption(QStringLiteral("Stopped."));
        m_controls.pagesBar().setCaption(QStringLiteral("Stopped."));
        return;
    }
    m_controls.setStartCaption(QString::fromLatin1(StartCaption));
    m_controls.pageBar().setCaption(QStringLiteral("Extraction Completed."));
    m_controls.pagesBar().setCaption(QStringLiteral("Extraction Completed."));
}
