#include "CaptionedProgressBar.h"
#include "ClosedPort.h"
#include "CountingYielder.h"
#include "DemoListSite.h"
#include "Form1.h"
#include "HttpPageFetcher.h"
#include "IcmpEchoSocket.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "NullPrompters.h"
#include "RecordingDialogRunner.h"
#include "RecordingPrompter.h"
#include "ReportListView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qpa/qwindowsysteminterface.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// What the user sees of a harvest, as one value.
struct Shown
{
    QString pagesBar;
    QString pageBar;
    int pagesValue = 0;
    int pageValue = 0;
    QString received;
    QString button;
    bool listActions = false;
    int rows = 0;

    friend bool operator==(const Shown&, const Shown&) = default;
};

char* toString(const Shown& shown)
{
    return QTest::toString(u"{P2 \"%1\" %2, P1 \"%3\" %4, received %5, button %6, list actions %7, rows %8}"_s.arg(
        shown.pagesBar, QString::number(shown.pagesValue), shown.pageBar, QString::number(shown.pageValue),
        shown.received, shown.button, shown.listActions ? u"on"_s : u"off"_s, QString::number(shown.rows)));
}

} // namespace

Q_DECLARE_METATYPE(Shown)

class TstForm1 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startsIdleAndCentred();
    void harvestEndings_data();
    void harvestEndings();
    void inputDuringAFetchIsTakenAtOnce_data();
    void inputDuringAFetchIsTakenAtOnce();
    void startWhileStoppingIsRefused();
    void quitEndsARunInTheMiddleOfItsPage_data();
    void quitEndsARunInTheMiddleOfItsPage();
    void buttonsOpenTheirWindows_data();
    void buttonsOpenTheirWindows();
    void doubleClickOnAnEmptyTableSaysSo();
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
    void makeWindow(const QString& siteAuthority);
    void harvest(const QString& pages);
    Shown shown() const;
    // Input as the window system delivers it: queued, and handled by whatever event loop
    // runs next, unless that loop holds user input back.
    void queueClick(const QString& buttonName) const;

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
    m_site = std::make_unique<DemoListSite>(DemoListSite::Options{.pageDelay = 100ms});
    QVERIFY(m_site->listen());
    m_fetcher = std::make_unique<HttpPageFetcher>();
    m_yielder = {};
    m_prompter.messages.clear();
    m_dialogs = {};
    makeWindow(m_site->authority());
}

void TstForm1::makeWindow(const QString& siteAuthority)
{
    const HostPort whoisServer{u"127.0.0.1"_s, ClosedLoopbackPort()};
    m_window = std::make_unique<Form1>(
        Form1::Services{*m_fetcher, m_yielder, m_prompter, m_files, m_browser, m_dialogs, m_icmp, m_sockets},
        Form1::Settings{m_folder.path(), m_folder.path(), siteAuthority, whoisServer});
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

Shown TstForm1::shown() const
{
    const auto* p1 = control<CaptionedProgressBar>(u"P1"_s);
    const auto* p2 = control<CaptionedProgressBar>(u"P2"_s);
    const bool listActions = button(u"Command2"_s)->isEnabled();
    for (const QString& name : {u"Command3"_s, u"Command6"_s})
        if (button(name)->isEnabled() != listActions)
            qFatal("the list actions disagree");
    return {p2->caption(),
            p1->caption(),
            p2->value(),
            p1->value(),
            control<QLineEdit>(u"Text1"_s)->text(),
            button(u"Command1"_s)->text(),
            listActions,
            m_window->table().count()};
}

void TstForm1::queueClick(const QString& buttonName) const
{
    QWindow* window = m_window->windowHandle();
    const QPushButton* target = button(buttonName);
    const QPointF local = target->mapTo(m_window.get(), target->rect().center());
    const QPointF global = target->mapToGlobal(target->rect().center());
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                                    QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton, Qt::LeftButton,
                                                    QEvent::MouseButtonRelease);
}

void TstForm1::startsIdleAndCentred()
{
    QCOMPARE(m_window->windowTitle(), u"Varnholt Proxy List Extractor v1.1"_s);
    QCOMPARE(shown(), (Shown{u"Idle"_s, u"Idle"_s, 0, 0, u"0"_s, u"&Get List!"_s, false, 0}));
    QCOMPARE(control<QLineEdit>(u"Text2"_s)->text(), u"20"_s);
    const QPoint offCentre = m_window->frameGeometry().center() - m_window->screen()->availableGeometry().center();
    QVERIFY2(qAbs(offCentre.x()) <= 2 && qAbs(offCentre.y()) <= 2,
             qPrintable(u"off by %1, %2"_s.arg(offCentre.x()).arg(offCentre.y())));
}

void TstForm1::harvestEndings_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("pages");
    QTest::addColumn<Shown>("expected");
    QTest::newRow("completed")
        << true << u"3"_s
        << Shown{u"Extraction Completed."_s, u"Extraction Completed."_s, 0, 0, u"300"_s, u"&Get List!"_s, true, 300};
    // A failed run is silent: both bars keep their captions, the pages bar names the page.
    QTest::newRow("site unreachable")
        << false << u"25"_s << Shown{u"Retrieving Page 1/20..."_s, u"Idle"_s, 0, 0, u"0"_s, u"&Get List!"_s, false, 0};
}

void TstForm1::harvestEndings()
{
    QFETCH(bool, reachable);
    QFETCH(QString, pages);
    QFETCH(Shown, expected);
    if (!reachable)
        makeWindow(u"127.0.0.1:"_s + QString::number(ClosedLoopbackPort()));
    harvest(pages);
    QCOMPARE(shown(), expected);
    QVERIFY(m_prompter.messages.isEmpty());
    if (reachable)
        QCOMPARE(m_window->table().selectedEntry()->ipAddress, u"127.0.0.1"_s);
}

void TstForm1::inputDuringAFetchIsTakenAtOnce_data()
{
    QTest::addColumn<QString>("pages");
    QTest::addColumn<int>("cancelOnPage");
    QTest::newRow("while page 1 of 3 arrives") << u"3"_s << 1;
    QTest::newRow("while page 8 of 20 arrives") << u"20"_s << 8;
}

// The cancel is taken while the page is still on its way: the button reads "&Get List!" at
// once, the page is completed and no page after it is asked for; nothing held back starts a
// second run afterwards.
void TstForm1::inputDuringAFetchIsTakenAtOnce()
{
    QFETCH(QString, pages);
    QFETCH(int, cancelOnPage);
    QString buttonDuringFetch;
    connect(&m_window->run(), &HarvestRun::pageStarted, this, [&](int number) {
        if (number != cancelOnPage)
            return;
        queueClick(u"Command1"_s);
        QTimer::singleShot(50ms, this, [&] { buttonDuringFetch = button(u"Command1"_s)->text(); });
    });

    harvest(pages);
    QCoreApplication::processEvents(); // whatever input was held back arrives now

    QCOMPARE(buttonDuringFetch, u"&Get List!"_s);
    QCOMPARE(m_site->targetsRequested().size(), cancelOnPage);
    const QString rows = QString::number(cancelOnPage * 100);
    QCOMPARE(shown(), (Shown{u"Stopped."_s, u"Stopped."_s, 0, 0, rows, u"&Get List!"_s, true, cancelOnPage * 100}));
}

void TstForm1::startWhileStoppingIsRefused()
{
    connect(&m_window->run(), &HarvestRun::pageStarted, this, [this](int number) {
        if (number != 2)
            return;
        queueClick(u"Command1"_s); // cancel
        queueClick(u"Command1"_s); // and at once start again
    });
    harvest(u"20"_s);
    QCOMPARE(m_site->targetsRequested().size(), 2);
    QCOMPARE(m_prompter.messages.size(), 1);
    QCOMPARE(m_prompter.messages.first().style, MessageStyle::Information);
    QCOMPARE(shown().pagesBar, u"Stopped."_s);
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
    QCOMPARE(m_site->targetsRequested().size(), 1);
    QVERIFY(m_window->table().count() < 100);
    QVERIFY(!m_window->run().isActive());
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

void TstForm1::doubleClickOnAnEmptyTableSaysSo()
{
    auto* list = control<ReportListView>(u"List"_s);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(40, 100));
    QCOMPARE(m_prompter.messages,
             (QList<RecordingPrompter::Message>{{u"The List is Empty"_s, MessageStyle::Stop, u"Error"_s}}));
    QVERIFY(m_dialogs.captions.isEmpty());
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
    QCOMPARE(shown().rows, 200);
}

// The demo's first row is 127.0.0.1, so the echo never leaves this machine.
void TstForm1::pingReportsOnTheSelectedRow()
{
    if (!IcmpEchoSocket::open().socket)
        QSKIP("this system allows the test no ICMP socket");
    harvest(u"1"_s);
    QTest::mouseClick(button(u"Command6"_s), Qt::LeftButton);
    QCOMPARE(m_prompter.messages.size(), 1);
    const RecordingPrompter::Message verdict = m_prompter.messages.constLast();
    QCOMPARE(verdict.title, u"IP Is Alive"_s);
    QCOMPARE(verdict.style, MessageStyle::Information);
    QVERIFY2(verdict.text.startsWith(u"The IP 127.0.0.1 Is Alive.\r\nDelay: "_s), qPrintable(verdict.text));
    QVERIFY(verdict.text.endsWith(u" ms.\r\nStatus: Success"_s));
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
