#pragma once

#include "Console.h"
#include "MessagePrompter.h"

// A message meant for a message box, told on standard error instead.
class ConsolePrompter final : public MessagePrompter
{
public:
    explicit ConsolePrompter(Console& console)
        : m_console(console)
    {
    }

    void showMessage(const QString& text, MessageStyle, const QString&) override { m_console.tell(text); }

private:
    Console& m_console;
};
