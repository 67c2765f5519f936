#include "EventYielder.h"

#include <QCoreApplication>

ThrottledEventYielder::ThrottledEventYielder(std::chrono::milliseconds interval)
    : m_interval(interval)
{
    m_sinceLastYield.start();
}

void ThrottledEventYielder::yield()
{
    // Reading the clock costs more than the per-line work of a fast caller; look at it
    // only every few calls.
    constexpr unsigned CallsPerClockCheck = 32;
    if (++m_calls % CallsPerClockCheck != 0)
        return;
    if (m_sinceLastYield.elapsed() < m_interval.count())
        return;
    yieldNow();
}

void ThrottledEventYielder::yieldNow()
{
    QCoreApplication::processEvents();
    m_sinceLastYield.restart();
}
