#include "ProxyChecker.h"

#include "CheckRun.h"
#include "ProbeEngine.h"

#include <QMetaObject>

using namespace Qt::StringLiterals;

ProxyChecker::ProxyChecker(ProbeSettings settings, std::optional<Judge> judge, int jobs, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_judge(std::move(judge))
    , m_jobs(jobs)
    , m_mailbox(std::make_unique<CheckMailbox>(
          [this] { QMetaObject::invokeMethod(this, &ProxyChecker::deliver, Qt::QueuedConnection); }))
{
}

// The engine's thread ends before the mailbox it posts to, and before this object's queued
// calls are dropped with it.
ProxyChecker::~ProxyChecker()
{
    if (m_engine)
        m_engine->halt();
    m_run.reset();
    m_engine.reset();
}

void ProxyChecker::start(std::span<const ProxyRecord> list)
{
    if (m_engine)
        return;
    // The engine's event loop and thread need descriptors and memory of their own.
    try {
        m_engine = std::make_unique<ProbeEngine>();
        m_run = std::make_shared<CheckRun>(m_engine->context(), list, m_settings, m_judge, m_jobs, *m_mailbox);
    } catch (const std::system_error& error) {
        m_engine.reset();
        const QString reason = u"this machine cannot start the check: "_s + QString::fromLocal8Bit(error.what());
        QMetaObject::invokeMethod(
            this, [this, reason] { Q_EMIT finished(CheckEnding::LocalShortage, reason); }, Qt::QueuedConnection);
        return;
    }
    m_engine->post([run = m_run] { run->start(); });
}

void ProxyChecker::stop()
{
    if (!m_engine)
        return;
    m_engine->halt();
    deliver();
    if (m_engine)
        end(CheckEnding::Stopped, {});
}

// A listener may stop the check while it is told an event: what is left of the batch is still
// told, and nothing after the end.
void ProxyChecker::deliver()
{
    if (m_delivering)
        return;
    m_delivering = true;
    for (std::vector<CheckEvent> batch = m_mailbox->take(); !batch.empty() && m_engine; batch = m_mailbox->take()) {
        for (CheckEvent& event : batch) {
            if (!m_engine)
                break;
            if (auto* checked = std::get_if<CheckedEvent>(&event))
                Q_EMIT this->checked(checked->index, checked->result);
            else if (const auto* judge = std::get_if<JudgeAnsweredEvent>(&event))
                Q_EMIT judgeAnswered(judge->checkerAddress);
            else if (const auto* lowered = std::get_if<JobsLoweredEvent>(&event))
                Q_EMIT jobsLowered(lowered->jobs, lowered->reason);
            else if (const auto* ended = std::get_if<EndedEvent>(&event))
                end(ended->ending, ended->reason);
        }
    }
    m_delivering = false;
}

void ProxyChecker::end(CheckEnding ending, const QString& reason)
{
    if (!m_engine)
        return;
    m_engine->halt();
    m_run.reset();
    m_engine.reset();
    Q_EMIT finished(ending, reason);
}
