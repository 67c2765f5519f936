#pragma once

#include <QWidget>

// A smooth progress bar with a caption drawn over it. It keeps its own value and maximum,
// because QProgressBar animates a 0..0 range as busy, drops values outside its range and
// resets the value when the maximum falls below it; a value above the maximum draws full.
class CaptionedProgressBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptionedProgressBar)

public:
    explicit CaptionedProgressBar(QWidget* parent = nullptr);

    int value() const { return m_value; }
    void setValue(int value);
    int maximum() const { return m_maximum; }
    void setMaximum(int maximum);
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_value = 0;
    int m_maximum = 100;
    QString m_caption = QStringLiteral("Idle");
};
