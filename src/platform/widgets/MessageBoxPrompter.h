#pragma once

#include "MessagePrompter.h"

class QWidget;

// Shows the message in a modal QMessageBox, as plain text: a message may carry text that came
// from the network.
class MessageBoxPrompter final : public MessagePrompter
{
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr)
        : m_parent(parent)
    {
    }

    void showMessage(const QString& text, MessageStyle style, const QString& title) override;

private:
    QWidget* m_parent;
};
