#include "TextNumber.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstTextNumber final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTypedNumbers_data();
    void readsTypedNumbers();
    void roundsHalfToEven_data();
    void roundsHalfToEven();
};

void TstTextNumber::readsTypedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("number");
    QTest::newRow("whole") << u"20"_s << std::optional(20.0);
    QTest::newRow("blanks around") << u"  3 "_s << std::optional(3.0);
    QTest::newRow("fraction") << u"2.5"_s << std::optional(2.5);
    QTest::newRow("negative") << u"-5"_s << std::optional(-5.0);
    QTest::newRow("empty") << QString() << std::optional<double>();
    QTest::newRow("letters") << u"abc"_s << std::optional<double>();
    QTest::newRow("number then letters") << u"3x"_s << std::optional<double>();
    QTest::newRow("infinity is no count") << u"inf"_s << std::optional<double>();
    QTest::newRow("huge") << u"1e300"_s << std::optional(1e300);
}

void TstTextNumber::readsTypedNumbers()
{
    QFETCH(QString, text);
    QFETCH(std::optional<double>, number);
    QCOMPARE(TextToNumber(text), number);
}

void TstTextNumber::roundsHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<std::optional<int>>("rounded");
    QTest::newRow("half down to even") << 2.5 << std::optional(2);
    QTest::newRow("half up to even") << 1.5 << std::optional(2);
    QTest::newRow("below half") << 20.4 << std::optional(20);
    QTest::newRow("negative half") << -0.5 << std::optional(0);
    QTest::newRow("too large for a whole number") << 1e300 << std::optional<int>();
    QTest::newRow("largest whole number") << 2147483647.0 << std::optional(2147483647);
}

void TstTextNumber::roundsHalfToEven()
{
    QFETCH(double, value);
    QFETCH(std::optional<int>, rounded);
    QCOMPARE(RoundHalfToEven(value), rounded);
}

QTEST_GUILESS_MAIN(TstTextNumber)
#include "tst_textnumber.moc"
