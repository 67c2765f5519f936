#pragma once

#include "MessagePrompter.h"

#include <QList>

// Answers every message at once and keeps what was asked, so a test can check the text, the
// icon and the title without a modal box racing the test.
class RecordingPrompter final : public MessagePrompter
{
public:
    struct Message
    {
        QString text;
        MessageStyle style = MessageStyle::Plain;
        QString title;

        friend bool operator==(const Message&, const Message&) = default;
    };

    void showMessage(const QString& text, MessageStyle style, const QString& title) override
    {
        messages.append({text, style, title});
    }

    QList<Message> messages;
};
