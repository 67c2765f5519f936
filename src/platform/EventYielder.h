#pragma once

#include <QElapsedTimer>

#include <chrono>

// Lets waiting window events run in the middle of a long operation on the UI thread.
class EventYielder
{
public:
    virtual ~EventYielder() = default;
    // Cheap enough to call for every line read: the events may wait a few milliseconds more.
    virtual void yield() = 0;
    // The events run now, however little time has passed: at a point where a click must have
    // been seen before the operation goes on.
    virtual void yieldNow() = 0;
};

// Handles the waiting events only when a few milliseconds have passed since it last did:
// a click is still answered within a frame or two, but a loop that yields once per line
// is not slowed down by an event-loop pass for every line.
class ThrottledEventYielder final : public EventYielder
{
public:
    explicit ThrottledEventYielder(std::chrono::milliseconds interval = std::chrono::milliseconds(8));

    void yield() override;
    void yieldNow() override;

private:
    QElapsedTimer m_sinceLastYield;
    std::chrono::milliseconds m_interval;
    unsigned m_calls = 0;
};
