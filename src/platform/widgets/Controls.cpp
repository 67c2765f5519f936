#include "Controls.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

class EscapeSwallower final : public QObject
{
public:
    explicit EscapeSwallower(QObject* parent)
        : QObject(parent)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QFont WindowFont(const QString& family)
{
    QFont font(family);
    font.setPointSizeF(8.25);
    return font;
}

void CentreOnScreen(QWidget& window)
{
    const QWidget* owner = window.parentWidget() ? window.parentWidget()->window() : &window;
    const QRect screen = owner->screen()->availableGeometry();
    QRect placed(QPoint(), window.size());
    placed.moveCenter(screen.center());
    // Moved on purpose, so a dialog is no longer placed over its parent when it is shown.
    window.move(placed.topLeft());
}

void SetUpToolWindow(QDialog& window, const QString& caption, QSize clientSize)
{
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowTitle(caption);
    window.setFont(WindowFont());
    window.setFixedSize(clientSize);
    CentreOnScreen(window);
}

void KeepOpenOnEscape(QDialog& window)
{
    window.installEventFilter(new EscapeSwallower(&window));
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(QString(caption).remove(u'&'));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}
