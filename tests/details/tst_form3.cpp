#include "Form3.h"
#include "ProxyTable.h"
#include "SelectedProxyText.h"
#include "Twips.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<ProxyEntry>)

namespace {

QPlainTextEdit* TextOf(const Form3& form)
{
    return form.findChild<QPlainTextEdit*>(u"Text1"_s);
}

} // namespace

class TstForm3 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labelsEachField_data();
    void labelsEachField();
    void showsTheSelectedRowAsPlainText();
    void opensEmptyAsAFixedSizeWindowClosedByItsButton();
};

void TstForm3::labelsEachField_data()
{
    QTest::addColumn<std::optional<ProxyEntry>>("entry");
    QTest::addColumn<QString>("expected");

    QTest::newRow("five fields, no line break after the last")
        << std::optional(ProxyEntry{u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s})
        << u"Proxy IP: 10.0.0.1\r\nProxy Port: 8080\r\nType: HTTP\r\nCountry: Italy\r\nLast Test: today"_s;
    QTest::newRow("empty field ends right after the label")
        << std::optional(ProxyEntry{u"10.0.0.1"_s, u"8080"_s, QString(), u"Italy"_s, QString()})
        << u"Proxy IP: 10.0.0.1\r\nProxy Port: 8080\r\nType: \r\nCountry: Italy\r\nLast Test: "_s;
    QTest::newRow("fields untrimmed") << std::optional(
        ProxyEntry{u" 10.0.0.1"_s, u"80 "_s, u"a"_s, u"b"_s,
                   u"c"_s}) << u"Proxy IP:  10.0.0.1\r\nProxy Port: 80 \r\nType: a\r\nCountry: b\r\nLast Test: c"_s;
    QTest::newRow("no row selected") << std::optional<ProxyEntry>() << QString();
}

void TstForm3::labelsEachField()
{
    QFETCH(std::optional<ProxyEntry>, entry);
    QFETCH(QString, expected);
    QCOMPARE(SelectedProxyText(entry), expected);
}

void TstForm3::showsTheSelectedRowAsPlainText()
{
    ProxyTable table;
    table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
    table.append({u"10.0.0.2"_s, u"3128"_s, u"SOCKS"_s, u"<b>Japan</b>"_s, u"now"_s});
    table.select(1);

    const Form3 form(table);

    QPlainTextEdit* text = TextOf(form);
    QVERIFY(text->isReadOnly());
    QVERIFY(text->textInteractionFlags().testFlag(Qt::TextSelectableByKeyboard));
    QCOMPARE(text->blockCount(), 5);
    QCOMPARE(text->toPlainText(),
             u"Proxy IP: 10.0.0.2\nProxy Port: 3128\nType: SOCKS\nCountry: <b>Japan</b>\nLast Test: now"_s);
}

void TstForm3::opensEmptyAsAFixedSizeWindowClosedByItsButton()
{
    ProxyTable table;
    table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
    table.selection().clearSelection();
    Form3 form(table);
    form.show();
    QCOMPARE(TextOf(form)->toPlainText(), QString());
    QCOMPARE(form.windowTitle(), u"Selected Proxy Information"_s);
    QCOMPARE(form.size(), TwipsSize(4695, 2250));
    QCOMPARE(form.minimumSize(), form.maximumSize());

    auto* close = form.findChild<QPushButton*>(u"Command1"_s);
    QCOMPARE(close->text(), u"&Close"_s);
    QTest::mouseClick(close, Qt::LeftButton);

    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TstForm3)
#include "tst_form3.moc"
