#include "CaptionedProgressBar.h"
#include "MessageBoxPrompter.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

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

class TstPlatformWidgets final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void barDrawsTheFillForTheValue_data();
    void barDrawsTheFillForTheValue();
    void messageBoxShowsPlainText_data();
    void messageBoxShowsPlainText();
};

void TstPlatformWidgets::barDrawsTheFillForTheValue_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::newRow("empty range is empty, not busy") << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("half") << 10 << 5 << 0.4 << 0.6;
    // A plain QProgressBar would drop a value above its maximum and draw nothing.
    QTest::newRow("overshoot draws full") << 3 << 7 << 0.9 << 1.0;
}

void TstPlatformWidgets::barDrawsTheFillForTheValue()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    const double share = FilledShare(maximum, value);
    QVERIFY2(share >= lowest && share <= highest, qPrintable(QString::number(share)));
}

void TstPlatformWidgets::messageBoxShowsPlainText_data()
{
    QTest::addColumn<MessageStyle>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("plain") << MessageStyle::Plain << QMessageBox::NoIcon;
    QTest::newRow("stop") << MessageStyle::Stop << QMessageBox::Critical;
    QTest::newRow("exclamation") << MessageStyle::Exclamation << QMessageBox::Warning;
    QTest::newRow("information") << MessageStyle::Information << QMessageBox::Information;
}

void TstPlatformWidgets::messageBoxShowsPlainText()
{
    QFETCH(MessageStyle, style);
    QFETCH(QMessageBox::Icon, icon);
    struct Shown
    {
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
    } shown;
    QTimer::singleShot(0, this, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = {box->text(), box->textFormat(), box->icon(), box->windowTitle()};
            box->accept();
        }
    });
    // Text from the network, with markup and a control character in it.
    MessageBoxPrompter().showMessage(u"<b>whois</b>\u0007"_s, style, u"title"_s);
    QCOMPARE(shown.text, u"<b>whois</b>\u2407"_s);
    QCOMPARE(shown.format, Qt::PlainText);
    QCOMPARE(shown.icon, icon);
    QCOMPARE(shown.title, u"title"_s);
}

QTEST_MAIN(TstPlatformWidgets)
#include "tst_platformwidgets.moc"
