#pragma once

#include "EventYielder.h"

#include <functional>

// Counts the yields of a long operation instead of running the event loop; a test may act at
// a given yield, as a click handled there would.
class CountingYielder final : public EventYielder
{
public:
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield(yields);
    }

    int yields = 0;
    std::function<void(int)> onYield;
};
