#include "CaptionedProgressBar.h"

#include <QAccessible>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>

CaptionedProgressBar::CaptionedProgressBar(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(m_caption);
}

void CaptionedProgressBar::setValue(int value)
{
    if (m_value == value)
        return;
    m_value = value;
    update();
}

void CaptionedProgressBar::setMaximum(int maximum)
{
    if (m_maximum == maximum)
        return;
    m_maximum = maximum;
    update();
}

void CaptionedProgressBar::setCaption(const QString& caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    setAccessibleName(caption);
    update();
}

QSize CaptionedProgressBar::sizeHint() const
{
    return QSize(200, fontMetrics().height() + 6);
}

void CaptionedProgressBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    // Without State_Horizontal, Fusion paints a vertical fill and no text.
    option.state |= QStyle::State_Horizontal;
    option.minimum = 0;
    option.maximum = std::max(m_maximum, 1);
    // An empty range shows an empty bar rather than a busy animation; an overshoot draws full.
    option.progress = m_maximum > 0 ? std::clamp(m_value, 0, m_maximum) : 0;
    option.text = m_caption;
    option.textVisible = true;
    option.textAlignment = Qt::AlignCenter;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}
