#include "ProxyChecker.h"

#include "ProxyProbe.h"

#include <algorithm>

namespace {

// How far ahead of the first untold proxy the probes may run, per job: far enough that one slow
// proxy does not hold up the others, near enough that the waiting results stay few.
constexpr qsizetype WindowPerJob = 16;

} // namespace

ProxyChecker::ProxyChecker(const ProbeSettings& settings, int jobs, QObject* parent)
    : QObject(parent)
    , m_probing(std::size_t(std::max(jobs, 1)), Idle)
    , m_window(qsizetype(m_probing.size()) * WindowPerJob)
{
    for (std::size_t slot = 0; slot < m_probing.size(); ++slot) {
        m_probes.push_back(std::make_unique<ProxyProbe>(settings));
        connect(m_probes.back().get(), &ProxyProbe::finished, this,
                [this, slot](const ProbeResult& result) { onProbeFinished(slot, result); });
    }
}

ProxyChecker::~ProxyChecker() = default;

void ProxyChecker::start(std::span<const ProxyRecord> list)
{
    m_list = list;
    m_waiting.clear();
    m_next = m_nextToTell = 0;
    m_running = true;
    queueFill();
}

void ProxyChecker::stop()
{
    if (!m_running)
        return;
    m_running = false;
    for (std::size_t slot = 0; slot < m_probes.size(); ++slot) {
        m_probes[slot]->abort();
        m_probing[slot] = Idle;
    }
    for (auto& [index, result] : std::exchange(m_waiting, {}))
        Q_EMIT checked(index, result);
    Q_EMIT finished();
}

void ProxyChecker::queueFill()
{
    if (m_fillQueued)
        return;
    m_fillQueued = true;
    QMetaObject::invokeMethod(this, &ProxyChecker::fill, Qt::QueuedConnection);
}

// A probe may end inside its start (a connection refused at once): each slot is looked at anew.
void ProxyChecker::fill()
{
    m_fillQueued = false;
    const auto listSize = qsizetype(m_list.size());
    for (std::size_t slot = 0; slot < m_probes.size() && m_running; ++slot) {
        if (m_probing[slot] != Idle || m_next >= listSize || m_next >= m_nextToTell + m_window)
            continue;
        const qsizetype index = m_next++;
        m_probing[slot] = index;
        const ProxyRecord& proxy = m_list[std::size_t(index)];
        m_probes[slot]->start(proxy.address, proxy.port, proxy.type);
    }
    end();
}

void ProxyChecker::onProbeFinished(std::size_t slot, const ProbeResult& result)
{
    m_waiting.emplace(m_probing[slot], result);
    m_probing[slot] = Idle;
    tellInOrder();
    queueFill();
}

// A listener may stop the check while it is told a result.
void ProxyChecker::tellInOrder()
{
    while (m_running) {
        const auto found = m_waiting.find(m_nextToTell);
        if (found == m_waiting.end())
            return;
        const ProbeResult result = std::move(found->second);
        m_waiting.erase(found);
        Q_EMIT checked(m_nextToTell++, result);
    }
}

void ProxyChecker::end()
{
    const bool probing = std::any_of(m_probing.begin(), m_probing.end(), [](qsizetype index) { return index != Idle; });
    if (!m_running || probing || m_next < qsizetype(m_list.size()))
        return;
    m_running = false;
    Q_EMIT finished();
}
