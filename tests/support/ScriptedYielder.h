#pragma once

#include "EventYielder.h"

#include <QCoreApplication>

#include <functional>

// Counts the yields of a long operation; a test may act at a given yield, as a click handled
// there would. Only the yields that must let events run do run them.
class CountingYielder final : public EventYielder
{
public:
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield(yields);
    }
    void yieldNow() override
    {
        yield();
        QCoreApplication::processEvents();
    }

    int yields = 0;
    std::function<void(int)> onYield;
};
