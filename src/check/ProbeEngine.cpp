#include "ProbeEngine.h"

ProbeEngine::ProbeEngine()
    : m_work(asio::make_work_guard(m_context))
    , m_thread([this] { m_context.run(); })
{
}

ProbeEngine::~ProbeEngine()
{
    halt();
}

void ProbeEngine::halt()
{
    if (!m_thread.joinable())
        return;
    m_work.reset();
    m_context.stop();
    m_thread.join();
}
