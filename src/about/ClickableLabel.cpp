#include "ClickableLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    // Taken here, so that the release comes back to this label.
    event->setAccepted(event->button() == Qt::LeftButton);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // A press that is dragged off the label before it is let go is no click.
    const bool click = event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    event->setAccepted(click);
    if (click)
        Q_EMIT clicked();
}

void ClickableLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        Q_EMIT clicked();
        break;
    default:
        QLabel::keyPressEvent(event);
    }
}
