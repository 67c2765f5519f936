#include "Form4.h"
#include "NullPrompters.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TstForm4 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void showsTheProductFacts();
    void theAddressOpensOncePerClickOrKey_data();
    void theAddressOpensOncePerClickOrKey();
    void onlyOkCloses_data();
    void onlyOkCloses();

private:
    QLabel* address() const { return m_form->findChild<QLabel*>(u"Label3"_s); }

    RecordingUrlOpener m_browser;
    std::unique_ptr<Form4> m_form;
};

void TstForm4::init()
{
    m_browser.opened.clear();
    m_form = std::make_unique<Form4>(m_browser);
    m_form->show();
}

// Every text the window shows, as plain text, in the order of the labels' names.
void TstForm4::showsTheProductFacts()
{
    QStringList shown;
    for (const QLabel* label : m_form->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->text().isEmpty())
            continue; // the picture
        shown.append(label->objectName() + u'=' + label->text());
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    shown.sort();
    QCOMPARE(shown.join(u"; "_s),
             u"Label10=-; Label1=Varnholt Proxy List Extractor; Label2=Version:; Label3=https://www.tarnwick.example/; "
             u"Label4=Tarnwick Inc.; Label5=Release Date:; Label7=Greets:; Label8=%1; Label9=29/04/2004"_s.arg(
                 QStringLiteral(VARNHOLT_VERSION)));
}

void TstForm4::theAddressOpensOncePerClickOrKey_data()
{
    QTest::addColumn<Qt::Key>("key"); // none: a click
    QTest::newRow("click") << Qt::Key_unknown;
    QTest::newRow("Enter") << Qt::Key_Return;
    QTest::newRow("Space") << Qt::Key_Space;
}

void TstForm4::theAddressOpensOncePerClickOrKey()
{
    QFETCH(Qt::Key, key);
    address()->setFocus();
    for (int time = 0; time < 2; ++time) {
        if (key == Qt::Key_unknown)
            QTest::mouseClick(address(), Qt::LeftButton);
        else
            QTest::keyClick(address(), key);
    }
    // Exactly the text shown is handed over, and the window stays open.
    QCOMPARE(m_browser.opened, QStringList(2, u"https://www.tarnwick.example/"_s));
    QCOMPARE(address()->text(), m_browser.opened.first());
    QVERIFY(m_form->isVisible());
}

void TstForm4::onlyOkCloses_data()
{
    QTest::addColumn<bool>("ok"); // or Esc
    QTest::newRow("Ok closes") << true;
    QTest::newRow("Esc does not") << false;
}

void TstForm4::onlyOkCloses()
{
    QFETCH(bool, ok);
    auto* button = m_form->findChild<QPushButton*>(u"Command1"_s);
    if (ok)
        QTest::mouseClick(button, Qt::LeftButton);
    else
        QTest::keyClick(button, Qt::Key_Escape);
    QCOMPARE(m_form->isVisible(), !ok);
    QVERIFY(m_browser.opened.isEmpty());
}

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"
