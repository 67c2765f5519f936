#include "CaptionedProgressBar.h"
#include "ClosedPort.h"
#include "CountingYielder.h"
#include "DemoListSite.h"
#include "Form1.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "NullPrompters.h"
#include "RecordingDialogRunner.h"
#include "RecordingPrompter.h"
#include "ReportListView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstForm1 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startsIdleWithTheListActionsDisabled();
    void controlsStandWhereTheTwipsSay_data();
    void controlsStandWhereTheTwipsSay();
    void tabOrderFollowsTheTabIndexes();
    void harvestFillsTheTableAndEnablesTheListActions();
    void cancelButtonStopsAtThePageBoundary();
    void doubleClickOnAnEmptyTableSaysSo();
    void quitEndsARunInTheMiddleOfItsPage_data();
    void quitEndsARunInTheMiddleOfItsPage();
    void buttonsOpenTheirWindows_data();
    void buttonsOpenTheirWindows();
    void aboutDuringARunSuspendsIt();
    void pingReportsOnTheSelectedRow();

private:
    template <typename T>
    T* control(const QString& name) const
    {
        T* found = m_window->findChild<T*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QPushButton* button(const QString& name) const { return control<QPushButton>(name); }
    void harvest(const QString& pages);

    QTemporaryDir m_folder;
    std::unique_ptr<DemoListSite> m_site;
    std::unique_ptr<HttpPageFetcher> m_fetcher;
    CountingYielder m_yielder;
    RecordingPrompter m_prompter;
    DismissingFilePrompter m_files;
    RecordingUrlOpener m_browser;
    RecordingDialogRunner m_dialogs;
    LinuxIcmpLibrary m_icmp{m_prompter};
    LinuxSocketLibrary m_sockets;
    std::unique_ptr<Form1> m_window;
};

void TstForm1::init()
{
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{});
    QVERIFY(m_site->listen());
    m_fetcher = std::make_unique<HttpPageFetcher>();
    m_yielder = {};
    m_prompter.messages.clear();
    m_dialogs = {};
    const HostPort whoisServer{u"127.0.0.1"_s, ClosedLoopbackPort()};
    m_window = std::make_unique<Form1>(
        Form1::Services{*m_fetcher, m_yielder, m_prompter, m_files, m_browser, m_dialogs, m_icmp, m_sockets},
        Form1::Settings{m_folder.path(), m_folder.path(), u"127.0.0.1:"_s + QString::number(m_site->serverPort()),
                        whoisServer});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TstForm1::cleanup()
{
    m_window.reset();
}

void TstForm1::harvest(const QString& pages)
{
    auto* text2 = control<QLineEdit>(u"Text2"_s);
    text2->selectAll();
    QTest::keyClicks(text2, pages);
    QTest::mouseClick(button(u"Command1"_s), Qt::LeftButton);
}

void TstForm1::startsIdleWithTheListActionsDisabled()
{
    QCOMPARE(m_window->windowTitle(), u"Varnholt Proxy List Extractor v1.1"_s);
    QCOMPARE(m_window->size(), QSize(497, 263));
    QCOMPARE(button(u"Command1"_s)->text(), u"&Get List!"_s);
    QCOMPARE(control<QLineEdit>(u"Text2"_s)->text(), u"20"_s);
    QCOMPARE(control<QLineEdit>(u"Text1"_s)->text(), u"0"_s);
    QVERIFY(!control<QLineEdit>(u"Text1"_s)->isEnabled());
    for (const QString& name : {u"P1"_s, u"P2"_s}) {
        QCOMPARE(control<CaptionedProgressBar>(name)->caption(), u"Idle"_s);
        QCOMPARE(control<CaptionedProgressBar>(name)->value(), 0);
    }
    for (const QString& name : {u"Command2"_s, u"Command3"_s, u"Command6"_s})
        QVERIFY2(!button(name)->isEnabled(), qPrintable(name));
    for (const QString& name : {u"Command1"_s, u"Command4"_s, u"Command5"_s})
        QVERIFY2(button(name)->isEnabled(), qPrintable(name));

    auto* list = control<ReportListView>(u"List"_s);
    QStringList headers;
    QList<int> widths;
    for (int column = 0; column < list->model()->columnCount(); ++column) {
        headers.append(list->model()->headerData(column, Qt::Horizontal).toString());
        widths.append(list->header()->sectionSize(column));
    }
    QCOMPARE(headers, (QStringList{u"IP Address"_s, u"Port"_s, u"Type"_s, u"Country"_s, u"Last Test"_s}));
    QCOMPARE(widths, (QList<int>{107, 47, 103, 117, 80}));
}

void TstForm1::controlsStandWhereTheTwipsSay_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("List") << u"List"_s << QRect(8, 8, 481, 169);
    QTest::newRow("Text2") << u"Text2"_s << QRect(120, 184, 49, 19);
    QTest::newRow("P1") << u"P1"_s << QRect(176, 209, 313, 17);
    QTest::newRow("Command1") << u"Command1"_s << QRect(8, 234, 80, 25);
    QTest::newRow("Command5") << u"Command5"_s << QRect(408, 234, 80, 25);
}

void TstForm1::controlsStandWhereTheTwipsSay()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QCOMPARE(control<QWidget>(name)->geometry(), geometry);
}

void TstForm1::tabOrderFollowsTheTabIndexes()
{
    QStringList order;
    QWidget* widget = button(u"Command1"_s);
    for (int i = 0; i < 8; ++i) {
        order.append(widget->objectName());
        widget = widget->nextInFocusChain();
        while (!widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty())
            widget = widget->nextInFocusChain();
    }
    QCOMPARE(order,
             (QStringList{u"Command1"_s, u"List"_s, u"Command4"_s, u"Command5"_s, u"Text2"_s, u"Command1"_s, u"List"_s,
                          u"Command4"_s}));
}

void TstForm1::harvestFillsTheTableAndEnablesTheListActions()
{
    harvest(u"3"_s);
    QCOMPARE(m_window->table().count(), 300);
    QCOMPARE(control<QLineEdit>(u"Text1"_s)->text(), u"300"_s);
    QCOMPARE(control<CaptionedProgressBar>(u"P1"_s)->caption(), u"Extraction Completed."_s);
    QCOMPARE(control<CaptionedProgressBar>(u"P2"_s)->caption(), u"Extraction Completed."_s);
    QCOMPARE(button(u"Command1"_s)->text(), u"&Get List!"_s);
    for (const QString& name : {u"Command2"_s, u"Command3"_s, u"Command6"_s})
        QVERIFY2(button(name)->isEnabled(), qPrintable(name));
    QCOMPARE(m_window->table().selectedRow(), std::optional<int>(0));
    QCOMPARE(m_window->table().selectedEntry()->ipAddress, u"127.0.0.1"_s);
}

void TstForm1::cancelButtonStopsAtThePageBoundary()
{
    auto* pages = control<CaptionedProgressBar>(u"P2"_s);
    m_yielder.onYield = [this, pages](int) {
        if (pages->caption() == u"Retrieving Page 2/20..."_s && button(u"Command1"_s)->text() == u"&Cancel"_s)
            QTest::mouseClick(button(u"Command1"_s), Qt::LeftButton);
    };
    harvest(u"20"_s);
    QCOMPARE(m_window->table().count(), 200);
    QCOMPARE(pages->caption(), u"Stopped."_s);
    QCOMPARE(control<CaptionedProgressBar>(u"P1"_s)->caption(), u"Stopped."_s);
    QVERIFY(button(u"Command3"_s)->isEnabled());
}

void TstForm1::doubleClickOnAnEmptyTableSaysSo()
{
    auto* list = control<ReportListView>(u"List"_s);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(40, 100));
    QCOMPARE(m_prompter.messages,
             (QList<RecordingPrompter::Message>{{u"The List is Empty"_s, MessageStyle::Stop, u"Error"_s}}));
}

void TstForm1::quitEndsARunInTheMiddleOfItsPage_data()
{
    QTest::addColumn<bool>("closed"); // as a stop signal closes it, instead of a click on Quit
    QTest::newRow("Quit") << false;
    QTest::newRow("window closed") << true;
}

void TstForm1::quitEndsARunInTheMiddleOfItsPage()
{
    QFETCH(bool, closed);
    QSignalSpy ending(m_window.get(), &Form1::endRequested);
    m_yielder.onYield = [this, closed](int yields) {
        if (yields == 40 && closed)
            m_window->close();
        else if (yields == 40)
            QTest::mouseClick(button(u"Command5"_s), Qt::LeftButton);
    };
    harvest(u"20"_s);
    QCOMPARE(ending.size(), 1);
    QCOMPARE(m_site->targetsServed().size(), 1);
    QVERIFY(m_window->table().count() < 100);
}

void TstForm1::buttonsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");
    QTest::newRow("save") << u"Command3"_s << u"Save Proxy List..."_s;
    QTest::newRow("whois") << u"Command2"_s << u"Whois Client"_s;
    QTest::newRow("about") << u"Command4"_s << u"Form4"_s;
}

void TstForm1::buttonsOpenTheirWindows()
{
    QFETCH(QString, button);
    QFETCH(QString, caption);
    harvest(u"1"_s);
    QTest::mouseClick(this->button(button), Qt::LeftButton);
    QCOMPARE(m_dialogs.captions, QStringList{caption});

    auto* list = control<ReportListView>(u"List"_s);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(40, 100));
    QCOMPARE(m_dialogs.captions, (QStringList{caption, u"Selected Proxy Information"_s}));
    QVERIFY(m_prompter.messages.isEmpty());
}

void TstForm1::aboutDuringARunSuspendsIt()
{
    int rowsWhileOpen = -1;
    m_dialogs.onShow = [this, &rowsWhileOpen](QDialog&) {
        QVERIFY(m_window->run().isActive());
        rowsWhileOpen = m_window->table().count();
    };
    m_yielder.onYield = [this](int) {
        if (m_window->table().count() == 50 && m_dialogs.captions.isEmpty())
            QTest::mouseClick(button(u"Command4"_s), Qt::LeftButton);
    };
    harvest(u"2"_s);
    QCOMPARE(m_dialogs.captions, QStringList{u"Form4"_s});
    QCOMPARE(rowsWhileOpen, 50);
    QCOMPARE(m_window->table().count(), 200);
    QCOMPARE(control<CaptionedProgressBar>(u"P2"_s)->caption(), u"Extraction Completed."_s);
}

// The demo's first row is 127.0.0.1, so the echo never leaves this machine.
void TstForm1::pingReportsOnTheSelectedRow()
{
    harvest(u"1"_s);
    QTest::mouseClick(button(u"Command6"_s), Qt::LeftButton);
    QCOMPARE(m_prompter.messages.size(), 1);
    const RecordingPrompter::Message verdict = m_prompter.messages.constLast();
    if (verdict.text.endsWith(u"General Failure"_s))
        QSKIP("this system allows the test no ICMP socket");
    QCOMPARE(verdict.title, u"IP Is Alive"_s);
    QCOMPARE(verdict.style, MessageStyle::Information);
    QVERIFY2(verdict.text.startsWith(u"The IP 127.0.0.1 Is Alive.\r\nDelay: "_s), qPrintable(verdict.text));
    QVERIFY(verdict.text.endsWith(u" ms.\r\nStatus: Success"_s));
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
