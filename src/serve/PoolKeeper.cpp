#include "PoolKeeper.h"

#include "PlainText.h"

PoolKeeper::PoolKeeper(ProbeSettings settings, Judge judge, int jobs, PoolUser usePool, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_judge(std::move(judge))
    , m_jobs(jobs)
    , m_usePool(std::move(usePool))
{
    connect(&m_recheckTimer, &QTimer::timeout, this, &PoolKeeper::recheck);
}

PoolKeeper::~PoolKeeper() = default;

void PoolKeeper::check(std::vector<ProxyRecord> list)
{
    m_checking = std::move(list);
    m_working.clear();
    m_workingRecords.clear();
    m_checked = 0;
    m_checker = std::make_unique<ProxyChecker>(m_settings, m_judge, m_jobs);
    connect(m_checker.get(), &ProxyChecker::checked, this, &PoolKeeper::onChecked);
    connect(m_checker.get(), &ProxyChecker::finished, this, &PoolKeeper::onFinished);
    m_checker->start(m_checking);
}

void PoolKeeper::recheck()
{
    if (!m_checker)
        check(m_pool);
}

void PoolKeeper::recheckEvery(std::chrono::seconds interval)
{
    m_recheckTimer.start(interval);
}

void PoolKeeper::onChecked(qsizetype index, const ProbeResult& result)
{
    ++m_checked;
    if (result.level == ProbeLevel::Works && result.protocol) {
        const ProxyRecord& proxy = m_checking[std::size_t(index)];
        m_working.push_back({result.proxyAddress, proxy.port, *result.protocol, proxy.login, SendsHostNames(proxy.type),
                             DisplayText(QString::fromUtf8(proxy.line))});
        m_workingRecords.push_back(proxy);
    }
    Q_EMIT progressed(m_checked, qsizetype(m_working.size()));
}

void PoolKeeper::onFinished(CheckEnding ending, const QString& reason)
{
    m_checker.release()->deleteLater(); // it is telling this from its own call
    if (ending == CheckEnding::Completed) {
        m_pool = std::move(m_workingRecords);
        m_usePool(m_working);
    }
    Q_EMIT checkEnded(ending, reason, qsizetype(m_working.size()));
}
