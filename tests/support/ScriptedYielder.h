#pragma once

#include "EventYielder.h"

#include <QCoreApplication>

#include <functional>

// A test may act at every yield of a long operation, as a click handled there would. Only the
// yields that must let events run do run them.
class ScriptedYielder final : public EventYielder
{
public:
    void yield() override { onYield(); }
    void yieldNow() override
    {
        onYield();
        QCoreApplication::processEvents();
    }

    std::function<void()> onYield = [] {};
};
