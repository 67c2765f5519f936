#pragma once

#include <QString>

// The icon of a message box; the numbers are the style numbers the program's messages use.
enum class MessageStyle : int {
    Plain = 0,
    Stop = 16,
    Exclamation = 48,
    Information = 64,
};

// A modal message with one OK button. The real program shows a message box; tests record
// the question instead of racing a nested event loop.
class MessagePrompter
{
public:
    // The caption of a message box that is given no title of its own.
    static QString defaultTitle() { return QStringLiteral("tolve"); }

    virtual ~MessagePrompter() = default;

    // Returns when the user has closed the message. The text is always shown as plain text.
    virtual void showMessage(const QString& text, MessageStyle style, const QString& title) = 0;
};
