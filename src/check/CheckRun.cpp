#include "CheckRun.h"

using namespace Qt::StringLiterals;

namespace {

// How long events gather before the checker's thread is woken for them: often enough for a
// progress line or a table that fills as the results come, seldom enough that waking costs
// nothing beside the probes.
constexpr std::chrono::milliseconds DeliveryDelay{10};

} // namespace

void CheckMailbox::post(CheckEvent event)
{
    const std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

void CheckMailbox::wake()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_woken || m_events.empty())
            return;
        m_woken = true;
    }
    m_wake();
}

std::vector<CheckEvent> CheckMailbox::take()
{
    const std::lock_guard lock(m_mutex);
    m_woken = false;
    return std::exchange(m_events, {});
}

CheckRun::CheckRun(asio::io_context& context, std::span<const ProxyRecord> list, ProbeSettings settings,
                   std::optional<Judge> judge, int jobs, CheckMailbox& mailbox)
    : m_context(context)
    , m_delivery(context)
    , m_list(list)
    , m_shared(std::make_shared<ProbeContext>(ProbeContext{settings, std::move(judge), {}, {}}))
    , m_mailbox(mailbox)
    , m_jobs(std::max(jobs, 1))
{
}

void CheckRun::start()
{
    if (m_shared->judge)
        return askJudge();
    fill();
}

void CheckRun::askJudge()
{
    const Judge& judge = *m_shared->judge;
    ProxyProbe::start(
        m_context, {judge.host, judge.port, {ProxyProtocol::Direct}, {}, false}, m_shared,
        [self = shared_from_this()](ProbeOutcome&& outcome) { self->onJudgeAnswered(std::move(outcome)); });
}

void CheckRun::onJudgeAnswered(ProbeOutcome&& outcome)
{
    const QString judge = m_shared->judge->url.toDisplayString();
    if (!outcome.localShortage.isEmpty())
        return end(CheckEnding::LocalShortage, u"cannot ask the judge %1: %2"_s.arg(judge, outcome.localShortage));
    const ProbeResult& result = outcome.result;
    if (result.level < ProbeLevel::Reachable)
        return end(CheckEnding::JudgeFailed, u"the judge %1 cannot be reached: %2"_s.arg(judge, result.reason));
    if (result.level < ProbeLevel::Works)
        return end(CheckEnding::JudgeFailed,
                   u"the judge %1 does not answer as a judge: %2"_s.arg(judge, result.reason));
    // Asked directly, the judge sees the checker: the address it tells is the checker's own.
    m_shared->checkerAddress = QHostAddress(result.exitAddress);
    m_shared->judgeAddress = result.proxyAddress;
    tell(JudgeAnsweredEvent{result.exitAddress});
    fill();
}

// A probe may end inside its own start (a socket refused at once): the loop is not entered
// again from there.
void CheckRun::fill()
{
    if (m_filling || m_ended)
        return;
    m_filling = true;
    while (m_running < m_jobs && !m_ended) {
        if (!m_again.empty()) {
            const qsizetype index = m_again.front();
            m_again.pop_front();
            probe(index);
        } else if (m_next < qsizetype(m_list.size())) {
            probe(m_next++);
        } else {
            break;
        }
    }
    m_filling = false;
    if (m_running == 0 && m_again.empty() && m_next >= qsizetype(m_list.size()))
        end(CheckEnding::Completed);
}

void CheckRun::probe(qsizetype index)
{
    const ProxyRecord& proxy = m_list[std::size_t(index)];
    ++m_running;
    ProbeTarget target{proxy.address, proxy.port, ProtocolsFor(proxy.type, m_shared->judge.has_value()), proxy.login,
                       SendsHostNames(proxy.type)};
    ProxyProbe::start(
        m_context, std::move(target), m_shared,
        [self = shared_from_this(), index](ProbeOutcome&& outcome) { self->onProbed(index, std::move(outcome)); });
}

// A shortage here puts the proxy back in the queue and lowers the number of probes at once to
// those still running, which hold what there is; with none running, nothing can go on.
void CheckRun::onProbed(qsizetype index, ProbeOutcome&& outcome)
{
    --m_running;
    if (m_ended)
        return;
    if (!outcome.localShortage.isEmpty()) {
        m_again.push_back(index);
        if (m_running == 0)
            return end(CheckEnding::LocalShortage,
                       u"this machine ran short while checking, with no other probe running: "_s
                           + outcome.localShortage);
        if (m_running < m_jobs) {
            m_jobs = m_running;
            tell(JobsLoweredEvent{m_jobs, outcome.localShortage});
        }
        return;
    }
    tell(CheckedEvent{index, std::move(outcome.result)});
    fill();
}

void CheckRun::end(CheckEnding ending, const QString& reason)
{
    if (m_ended)
        return;
    m_ended = true;
    m_mailbox.post(EndedEvent{ending, reason});
    m_mailbox.wake();
}

void CheckRun::tell(CheckEvent event)
{
    m_mailbox.post(std::move(event));
    if (m_deliveryDue)
        return;
    m_deliveryDue = true;
    m_delivery.expires_after(DeliveryDelay);
    m_delivery.async_wait([self = shared_from_this()](const std::error_code&) {
        self->m_deliveryDue = false;
        self->m_mailbox.wake();
    });
}
