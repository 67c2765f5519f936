#include "Form3.h"
#include "ProxyTable.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TstForm3 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheSelectedRowAsPlainText();
};

void TstForm3::showsTheSelectedRowAsPlainText()
{
    ProxyTable table;
    table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
    table.append({u" 10.0.0.2"_s, u"3128"_s, QString(), u"<b>Japan</b>"_s, u"now "_s});
    table.select(1); // its fields as the table holds them: spaces, markup and an empty one
    const Form3 form(table);
    const auto* text = form.findChild<QPlainTextEdit*>();
    QCOMPARE(text->toPlainText() + (text->isReadOnly() ? u" (read-only)"_s : QString()),
             u"Proxy IP:  10.0.0.2\nProxy Port: 3128\nType: \nCountry: <b>Japan</b>\nLast Test: now  (read-only)"_s);
}

QTEST_MAIN(TstForm3)
#include "tst_form3.moc"
