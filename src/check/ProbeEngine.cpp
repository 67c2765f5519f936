#include "ProbeEngine.h"

#include <asio/steady_timer.hpp>

ProbeEngine::ProbeEngine()
    : m_work(asio::make_work_guard(m_context))
{
    // Asio makes its reactor (an epoll and a timer descriptor) with the first socket or timer: one
    // made here, so that a machine short of descriptors fails the engine's start, not a probe's.
    const asio::steady_timer first(m_context);
    m_thread = std::thread([this] { m_context.run(); });
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
