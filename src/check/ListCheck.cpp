#include "ListCheck.h"

using namespace Qt::StringLiterals;

ListCheck::ListCheck(std::vector<ProxyEntry> entries, QObject* parent)
    : QObject(parent)
    , m_results(std::move(entries))
{
    // A row becomes a proxy by its five fields, as a list line of all data would give them.
    for (int row = 0; row < m_results.count(); ++row) {
        const ProxyEntry& entry = m_results.entry(row);
        const QString line =
            QStringList{entry.ipAddress, entry.port, entry.type, entry.country, entry.lastTest}.join(u'\t');
        std::variant<ProxyRecord, QString> parsed = ParseProxyLine(line.toUtf8());
        if (auto* proxy = std::get_if<ProxyRecord>(&parsed)) {
            m_proxies.push_back(std::move(*proxy));
            m_rowOf.push_back(row);
        } else {
            m_results.setRefusal(row, std::get<QString>(parsed));
        }
    }
}

ListCheck::~ListCheck() = default;

void ListCheck::start(const Options& options)
{
    if (isRunning())
        return;
    m_results.clearResults();
    m_checked = 0;
    m_working = 0;
    m_required = options.judge ? ProbeLevel::Works : ProbeLevel::Speaks;
    const FittedJobs fitted = FitJobs(options.jobs);
    m_checker = std::make_unique<ProxyChecker>(options.probing, options.judge, fitted.jobs);
    connect(m_checker.get(), &ProxyChecker::judgeAnswered, this, [this](const QString& checkerAddress) {
        m_clock.start();
        Q_EMIT judgeAnswered(checkerAddress);
    });
    connect(m_checker.get(), &ProxyChecker::checked, this, &ListCheck::onChecked);
    connect(m_checker.get(), &ProxyChecker::jobsLowered, this, &ListCheck::jobsLowered);
    connect(m_checker.get(), &ProxyChecker::finished, this, &ListCheck::finished);
    m_clock.start();
    if (fitted.jobs < options.jobs)
        Q_EMIT jobsLowered(fitted.jobs,
                           u"this process may open %1 files at most"_s.arg(QString::number(fitted.openFiles)));
    m_checker->start(m_proxies);
}

void ListCheck::stop()
{
    if (m_checker)
        m_checker->stop();
}

qint64 ListCheck::rate() const
{
    const double seconds = double(std::max<qint64>(m_clock.elapsed(), 1)) / 1000;
    return qRound64(double(m_checked) / seconds);
}

std::vector<ProxyEntry> ListCheck::workingEntries() const
{
    std::vector<ProxyEntry> working;
    for (int row = 0; row < m_results.count(); ++row) {
        if (m_results.works(row))
            working.push_back(m_results.entry(row));
    }
    return working;
}

void ListCheck::onChecked(qsizetype index, const ProbeResult& result)
{
    const bool works = result.level >= m_required;
    ++m_checked;
    if (works)
        ++m_working;
    m_results.setResult(m_rowOf.at(std::size_t(index)), result, works);
    Q_EMIT checked();
}
