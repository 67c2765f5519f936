#include "MessageBoxPrompter.h"

#include "PlainText.h"

#include <QMessageBox>

namespace {

QMessageBox::Icon IconFor(MessageStyle style)
{
    switch (style) {
    case MessageStyle::Plain:
        return QMessageBox::NoIcon;
    case MessageStyle::Stop:
        return QMessageBox::Critical;
    case MessageStyle::Exclamation:
        return QMessageBox::Warning;
    case MessageStyle::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBoxPrompter::showMessage(const QString& text, MessageStyle style, const QString& title)
{
    QMessageBox box(IconFor(style), DisplayText(title), DisplayText(text), QMessageBox::Ok, m_parent);
    // Only the main text is given, and it is plain: no informative or detailed text that
    // the box would guess to be rich text.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
