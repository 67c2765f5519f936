#include "CaptionedProgressBar.h"

#include <QImage>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QImage Render(int maximum, int value)
{
    CaptionedProgressBar bar;
    bar.setCaption(QString());
    bar.resize(300, 17);
    bar.setMaximum(maximum);
    bar.setValue(value);
    return bar.grab().toImage();
}

// The share of the bar's middle line that differs from an empty bar: the fill, whatever colours
// and gradient the style paints it in.
double FilledShare(int maximum, int value)
{
    const QImage empty = Render(10, 0);
    const QImage image = Render(maximum, value);
    const int y = image.height() / 2;
    int filled = 0;
    for (int x = 0; x < image.width(); ++x)
        filled += image.pixel(x, y) != empty.pixel(x, y) ? 1 : 0;
    return double(filled) / image.width();
}

} // namespace

class TstCaptionedProgressBar final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsValuesAPlainBarWouldDrop();
    void drawsTheFillForTheValue_data();
    void drawsTheFillForTheValue();
};

void TstCaptionedProgressBar::keepsValuesAPlainBarWouldDrop()
{
    CaptionedProgressBar bar;
    QCOMPARE(bar.caption(), u"Idle"_s);
    QCOMPARE(bar.value(), 0);
    bar.setMaximum(0);
    bar.setValue(5);
    QCOMPARE(bar.value(), 5);
    bar.setMaximum(3);
    QCOMPARE(bar.value(), 5);
    bar.setCaption(u"Parsing Data..."_s);
    QCOMPARE(bar.caption(), u"Parsing Data..."_s);
    QCOMPARE(bar.accessibleName(), u"Parsing Data..."_s);
}

void TstCaptionedProgressBar::drawsTheFillForTheValue_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::newRow("empty range is empty, not busy") << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("half") << 10 << 5 << 0.4 << 0.6;
    QTest::newRow("overshoot draws full") << 3 << 7 << 0.9 << 1.0;
}

void TstCaptionedProgressBar::drawsTheFillForTheValue()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    const double share = FilledShare(maximum, value);
    QVERIFY2(share >= lowest && share <= highest, qPrintable(QString::number(share)));
}

QTEST_MAIN(TstCaptionedProgressBar)
#include "tst_captionedprogressbar.moc"
