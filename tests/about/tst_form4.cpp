#include "Form4.h"
#include "Twips.h"
#include "UrlOpener.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Keeps every address it is asked to open instead of starting a browser.
class RecordingUrlOpener final : public UrlOpener
{
public:
    void openUrl(const QString& address) override { opened.append(address); }

    QStringList opened;
};

} // namespace

class TstForm4 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void showsTheProductFacts_data();
    void showsTheProductFacts();
    void isABorderlessPanelWithIconAndLink();
    void eachClickOnTheAddressOpensItOnce();
    void keyboardOpensTheAddressToo_data();
    void keyboardOpensTheAddressToo();
    void okCloses();

private:
    QLabel* label(const QString& name) const { return m_form->findChild<QLabel*>(name); }

    RecordingUrlOpener m_browser;
    std::unique_ptr<Form4> m_form;
};

void TstForm4::init()
{
    m_browser.opened.clear();
    m_form = std::make_unique<Form4>(m_browser);
    m_form->show();
}

void TstForm4::showsTheProductFacts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("product") << u"Label1"_s << u"Varnholt Proxy List Extractor"_s;
    QTest::newRow("version heading") << u"Label2"_s << u"Version:"_s;
    QTest::newRow("version") << u"Label8"_s << u"1.1"_s;
    QTest::newRow("release date heading") << u"Label5"_s << u"Release Date:"_s;
    QTest::newRow("release date") << u"Label9"_s << u"29/04/2004"_s;
    QTest::newRow("greets heading") << u"Label7"_s << u"Greets:"_s;
    QTest::newRow("greets") << u"Label10"_s << u"-"_s;
    QTest::newRow("maker") << u"Label4"_s << u"Tarnwick Inc."_s;
    QTest::newRow("maker's address") << u"Label3"_s << u"https://www.tarnwick.example/"_s;
}

void TstForm4::showsTheProductFacts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QLabel* shown = label(name);
    QVERIFY(shown);
    QCOMPARE(shown->text(), text);
    QCOMPARE(shown->textFormat(), Qt::PlainText);
    QCOMPARE(shown->font().family(), u"Arial"_s);
    QCOMPARE(shown->font().bold(), name == u"Label1"_s);
}

void TstForm4::isABorderlessPanelWithIconAndLink()
{
    QVERIFY(m_form->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(m_form->size(), TwipsSize(4815, 2055));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    QCOMPARE(m_form->findChild<QPushButton*>(u"Command1"_s)->text(), u"Ok"_s);
    const QPixmap picture = label(u"Image1"_s)->pixmap();
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(32, 32));
    const QLabel* address = label(u"Label3"_s);
    QVERIFY(address->font().underline());
    QCOMPARE(address->palette().color(QPalette::WindowText), QColor(0, 0, 192));
}

void TstForm4::eachClickOnTheAddressOpensItOnce()
{
    QLabel* address = label(u"Label3"_s);

    QTest::mouseClick(address, Qt::LeftButton);
    QCOMPARE(m_browser.opened, QStringList{address->text()});
    QTest::mouseClick(address, Qt::LeftButton);

    QCOMPARE(m_browser.opened, QStringList(2, u"https://www.tarnwick.example/"_s));
    QVERIFY(m_form->isVisible());
}

void TstForm4::keyboardOpensTheAddressToo_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("Enter") << Qt::Key_Return;
    QTest::newRow("Space") << Qt::Key_Space;
}

void TstForm4::keyboardOpensTheAddressToo()
{
    QFETCH(Qt::Key, key);
    QLabel* address = label(u"Label3"_s);
    address->setFocus();

    QTest::keyClick(address, key);

    QCOMPARE(m_browser.opened, QStringList{address->text()});
    QVERIFY(m_form->isVisible());
}

void TstForm4::okCloses()
{
    QTest::mouseClick(m_form->findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton);

    QVERIFY(!m_form->isVisible());
    QVERIFY(m_browser.opened.isEmpty());
}

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"
