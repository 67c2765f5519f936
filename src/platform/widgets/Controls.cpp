#include "Controls.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

QFont WindowFont(const QString& family)
{
    QFont font(family);
    font.setPointSizeF(8.25);
    return font;
}

void SetUpToolWindow(QDialog& window, const QString& caption, QSize clientSize)
{
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowTitle(caption);
    window.setFont(WindowFont());
    window.setFixedSize(clientSize);
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
