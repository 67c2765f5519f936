#include "Form4.h"
#include "NullPrompters.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TstForm4 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheFactsAndClosesOnlyByOk();
};

void TstForm4::showsTheFactsAndClosesOnlyByOk()
{
    RecordingUrlOpener browser;
    Form4 form(browser);
    form.show();
    QStringList shown; // the picture has no text
    for (const QLabel* label : form.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            shown.append(label->textFormat() == Qt::PlainText ? label->text() : u"<markup>"_s);
    QCOMPARE(shown.join(u'|'),
             u"Varnholt Proxy List Extractor|Version:|%1|Release Date:|29/04/2004|Greets:|-|"
             u"Tarnwick Inc.|https://www.tarnwick.example/"_s.arg(QStringLiteral(VARNHOLT_VERSION)));
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    QTest::mouseClick(form.findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"
