#include "CaptionedProgressBar.h"
#include "ClosedPort.h"
#include "DialogRunner.h"
#include "Files.h"
#include "Form1.h"
#include "HttpPageFetcher.h"
#include "JudgeServer.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "ProxyCheckWindow.h"
#include "RecordingPrompter.h"
#include "SaveFilePrompter.h"
#include "ScriptedHttpServer.h"
#include "ScriptedProxy.h"
#include "ScriptedYielder.h"
#include "UrlOpener.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <qpa/qwindowsysteminterface.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Kind = ScriptedProxy::Kind;

namespace {

// A list page in the site's layout: four header rows, then a row of five cells each.
QByteArray Page(const QList<QStringList>& rows)
{
    QByteArray page = QByteArray("<tr align=\"center\">\n<th>Header</th>\n</tr>\n").repeated(4);
    for (const QStringList& cells : rows)
        page += "<tr align=\"center\">\n<td>" + cells.join(u"</td>\n<td>"_s).toUtf8() + "</td>\n</tr>\n";
    return page;
}

// Input goes into the window system's queue as a user's would, and is taken from it at once.
void Key(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QWindowSystemInterface::handleKeyEvent(window->windowHandle(), type, key, modifiers, text);
    QWindowSystemInterface::flushWindowSystemEvents();
}

void Click(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* window = widget->window();
    const QPoint inWindow = widget->mapTo(window, at);
    for (const auto& [buttons, type] :
         {std::pair{Qt::MouseButtons(button), QEvent::MouseButtonPress}, {Qt::NoButton, QEvent::MouseButtonRelease}})
        QWindowSystemInterface::handleMouseEvent(window->windowHandle(), inWindow, window->mapToGlobal(inWindow),
                                                 buttons, button, type);
    QWindowSystemInterface::flushWindowSystemEvents();
}

// The rows as the view shows them, "; " between two, "|" between the columns asked for.
QString Shown(const QTreeView& view, int first = CheckResultsModel::Verdict, int last = CheckResultsModel::ExitAddress)
{
    QStringList rows;
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = first; column <= last; ++column)
            cells.append(view.model()->index(row, column).data().toString());
        rows.append(cells.join(u'|'));
    }
    return rows.join(u"; "_s);
}

// Every control Tab reaches, in that order, and every text, each with the name a screen reader
// gives it.
QStringList Named(QWidget& window)
{
    QStringList named;
    for (QWidget* next = window.nextInFocusChain(); next != &window; next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) || qobject_cast<QLabel*>(next))
            named.append(next->objectName() + u'='
                         + QAccessible::queryAccessibleInterface(next)->text(QAccessible::Name));
    return named;
}

} // namespace

// The main window's context menu and its check window, on a list page of fake proxies, and its
// page bar, which shows every stage of a page.
class TstCheckWindow final : public QObject, public SaveFilePrompter, public UrlOpener, public DialogRunner
{
    Q_OBJECT

public:
    std::optional<QString> askSaveFileName(const SaveFileRequest&) override { return m_folder.filePath(u"w.txt"_s); }
    void openUrl(const QString&) override {}
    void runModal(QDialog& window) override
    {
        window.show();
        m_opened.append(window.windowTitle());
        if (m_onShown)
            m_onShown(window);
    }
    bool eventFilter(QObject*, QEvent* event) override // tells the paints of the widgets it watches
    {
        if (event->type() == QEvent::Paint)
            m_onPaint();
        return false;
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void menuKeepsTheRulesOfItsControls_data();
    void menuKeepsTheRulesOfItsControls();
    void checkFillsRowsAndSavesTheWorking_data();
    void checkFillsRowsAndSavesTheWorking();
    void refusesWhatItCannotCheck_data();
    void refusesWhatItCannotCheck();
    void everyStageOfAPageIsPainted();

private:
    void harvest(int pages);

    QList<QStringList> m_rows; // the first page's; the second is held until m_whileHeld has run
    std::function<void()> m_whileHeld;
    std::unique_ptr<ScriptedHttpServer> m_site;
    QTemporaryDir m_folder;
    HttpPageFetcher m_fetcher{5s};
    ScriptedYielder m_yielder;
    RecordingPrompter m_prompter;
    LinuxIcmpLibrary m_icmp{m_prompter};
    LinuxSocketLibrary m_sockets;
    QStringList m_opened;
    std::function<void(QDialog&)> m_onShown;
    std::function<void()> m_onPaint;
    std::unique_ptr<Form1> m_window;
};

void TstCheckWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TstCheckWindow::init()
{
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/varnholt.conf"_s);
    m_rows = {{u"127.0.0.2"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s}};
    m_site = std::make_unique<ScriptedHttpServer>([this](QTcpSocket& socket, const QByteArray& target) {
        if (target.endsWith("offset=0"))
            return ScriptedHttpServer::answer(socket, "200 OK", Page(m_rows));
        QTimer::singleShot(0, this, [this, held = QPointer(&socket)] {
            m_whileHeld();
            if (held)
                ScriptedHttpServer::answer(*held, "200 OK", Page({}));
        });
    });
    m_prompter = {};
    m_yielder = {};
    m_opened.clear();
    m_onShown = {};
    m_window = std::make_unique<Form1>(
        Form1::Services{m_fetcher, m_yielder, m_prompter, *this, *this, *this, m_icmp, m_sockets},
        Form1::Settings{m_folder.path(), m_folder.path(), m_site->authority(), {u"127.0.0.1"_s, ClosedLoopbackPort()}});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TstCheckWindow::harvest(int pages)
{
    m_window->findChild<QLineEdit*>(u"Text2"_s)->setText(QString::number(pages));
    QTest::mouseClick(m_window->findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton);
}

void TstCheckWindow::menuKeepsTheRulesOfItsControls_data()
{
    QTest::addColumn<int>("pages"); // harvested first; of two, the second is held while the menu is used
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("choice"); // the accelerator typed in the menu
    QTest::addColumn<QString>("seen");
    const QString off = u"Proxy table actions: &Details... &Whois...- &Ping...- Chec&k List...-"_s;
    QTest::newRow("empty table") << 0 << u"right click"_s << u"d"_s << off + u" | The List is Empty"_s;
    QTest::newRow("during a run") << 2 << u"Menu"_s << u"d"_s << off + u" | Selected Proxy Information"_s;
    QTest::newRow("F10 alone") << 1 << u"F10"_s << u"w"_s << u" | Check Proxy List"_s;
    QTest::newRow("after a run") << 1 << u"Shift+F10"_s << u"w"_s
                                 << u"Proxy table actions: &Details... &Whois... &Ping... Chec&k List... | "
                                    u"Whois Client, Check Proxy List"_s;
}

// The actions as the menu offers them ("-" when unusable), then the windows and messages that
// the choice and Ctrl+K brought.
void TstCheckWindow::menuKeepsTheRulesOfItsControls()
{
    QFETCH(int, pages);
    QFETCH(QString, opener);
    QFETCH(QString, choice);
    QFETCH(QString, seen);
    QStringList offered;
    m_whileHeld = [&] {
        auto* table = m_window->findChild<QTreeView*>(u"List"_s);
        table->setFocus();
        const QKeyCombination key = QKeySequence(opener)[0];
        if (opener == u"right click"_s)
            Click(table->viewport(), QPoint(20, 5), Qt::RightButton);
        else
            Key(m_window.get(), key.key(), key.keyboardModifiers());
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu)
            offered += menu->accessibleName() + u':';
        for (const QAction* action : menu ? menu->actions() : QList<QAction*>())
            offered += action->isSeparator() ? QStringList()
                                             : QStringList{action->text() + (action->isEnabled() ? u""_s : u"-"_s)};
        if (menu)
            Key(menu, choice.at(0).toUpper().unicode(), Qt::NoModifier, choice);
        Key(m_window.get(), Qt::Key_K, Qt::ControlModifier);
    };
    if (pages > 0)
        harvest(pages);
    if (pages < 2)
        m_whileHeld();
    for (const RecordingPrompter::Message& message : m_prompter.messages)
        m_opened.append(message.text);
    QCOMPARE(offered.join(u' ') + u" | "_s + m_opened.join(u", "_s), seen);
}

void TstCheckWindow::checkFillsRowsAndSavesTheWorking_data()
{
    QTest::addColumn<bool>("judged");
    QTest::addColumn<bool>("allData"); // the save window's format
    QTest::addColumn<QString>("results"); // verdict, protocol, anonymity, exit, in the table's order
    QTest::addColumn<QString>("caption");
    const QString notChecked = u"not checked: \"127.0.0.300\" is not an IP address|||"_s;
    QTest::newRow("a judge, address and port")
        << true << false
        << u"pass|HTTP|elite|127.0.0.12; pass|HTTP|transparent|127.0.0.14; the answer is not a judge's page|HTTP|-|-; "
           u"|||; pass|SOCKS5|elite|127.0.0.17; "_s
            + notChecked
        << u"Checked 4 of 5, 3 working"_s;
    QTest::newRow("up to speaks, all data")
        << false << true << u"pass|HTTP|-|-; pass|HTTP|-|-; pass|HTTP|-|-; |||; pass|SOCKS5|-|-; "_s + notChecked
        << u"Checked 4 of 5, 4 working"_s;
}

// The rows fill as results come while a silent proxy holds the check; Stop keeps them, the
// times sort as numbers with the rows that have none last, and only the working rows are saved.
void TstCheckWindow::checkFillsRowsAndSavesTheWorking()
{
    QFETCH(bool, judged);
    QFETCH(bool, allData);
    QFETCH(QString, results);
    QFETCH(QString, caption);
    JudgeServer judge;
    QVERIFY(judge.listen(QHostAddress::LocalHost, 0));
    const ScriptedProxy relay(Kind::Relay, u"127.0.0.11"_s, u"127.0.0.12"_s);
    const ScriptedProxy forwarding(Kind::RelayForwardedFor, u"127.0.0.13"_s, u"127.0.0.14"_s);
    const ScriptedProxy webServer(Kind::WebServer, u"127.0.0.15"_s);
    const ScriptedProxy silent(Kind::Silent, u"127.0.0.16"_s);
    const ScriptedProxy socks5(Kind::Socks5, u"127.0.0.18"_s, u"127.0.0.17"_s);
    m_rows.clear();
    for (const ScriptedProxy* proxy : {&relay, &forwarding, &webServer, &silent, &socks5})
        m_rows.append((proxy->line(u"\t"_s) + (proxy == &socks5 ? u"\tSOCKS5"_s : u"\tHTTP"_s)).split(u'\t')
                      << u"Peru"_s << u"today"_s);
    m_rows.append({u"127.0.0.300"_s, u"80"_s, u"HTTP"_s, u"Peru"_s, u"today"_s});
    harvest(1);
    QFile::remove(m_folder.filePath(u"w.txt"_s)); // the save window appends
    QStringList fields; // at each opening: as kept, and the second time every control's name
    QString closed; // the button, the status and the window's state after Close during a check
    m_onShown = [&](QDialog& window) {
        if (auto* format = window.findChild<QCheckBox*>(u"Check1"_s)) { // the save window
            format->setChecked(allData);
            return QTest::mouseClick(window.findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton);
        }
        const auto field = [&window](const QString& name) { return window.findChild<QLineEdit*>(name); };
        fields.append(field(u"Judge"_s)->text() + u", "_s + field(u"Jobs"_s)->text() + u", "_s
                      + field(u"Timeout"_s)->text());
        auto* start = window.findChild<QPushButton*>(u"Start"_s);
        if (m_opened.size() > 2) {
            fields += Named(window);
            QTest::mouseClick(start, Qt::LeftButton);
            QTest::mouseClick(window.findChild<QPushButton*>(u"Close"_s), Qt::LeftButton);
            return void(closed = start->text() + u' ' + window.findChild<QLabel*>(u"Status"_s)->text()
                            + (window.isVisible() ? u" open"_s : u" closed"_s));
        }
        field(u"Judge"_s)->setText(judged ? judge.url().toString() : QString());
        field(u"Jobs"_s)->setText(u"4"_s);
        field(u"Timeout"_s)->setText(u"30"_s);
        const auto* bar = window.findChild<CaptionedProgressBar*>();
        const auto* view = window.findChild<QTreeView*>();
        const QAbstractItemModelTester tester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(bar->caption(), caption);
        QCOMPARE(start->text() + u' ' + Shown(*view), u"S&top "_s + results);
        const auto* rate = window.findChild<QLabel*>(u"Rate"_s);
        const QString rateThen = rate->text();
        QTRY_VERIFY(rate->text() != rateThen); // it goes by the clock while a proxy keeps the check waiting
        QTest::mouseClick(start, Qt::LeftButton); // Stop
        QCOMPARE(u"%1 %2/%3, %4"_s.arg(bar->caption()).arg(bar->value()).arg(bar->maximum()).arg(start->text()),
                 caption + u" 4/5, &Start"_s);
        QCOMPARE(Shown(*view), results);
        const QHeaderView* header = view->header();
        Click(header->viewport(), QPoint(header->sectionViewportPosition(CheckResultsModel::TotalMs) + 5, 5));
        QCOMPARE(header->sortIndicatorSection(), int(CheckResultsModel::TotalMs));
        const QStringList totals = Shown(*view, CheckResultsModel::TotalMs, CheckResultsModel::TotalMs).split(u"; "_s);
        QCOMPARE(totals.mid(4), (QStringList{QString(), QString()}));
        QVERIFY(std::ranges::is_sorted(totals.mid(0, 4), {}, [](const QString& ms) { return ms.toInt(); }));
        QTest::mouseClick(window.findChild<QPushButton*>(u"SaveWorking"_s), Qt::LeftButton);
    };
    Key(m_window.get(), Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(m_opened.size(), 2);
    m_window->activateWindow(); // as it is again once the windows it opened have closed
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    Key(m_window.get(), Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(m_opened.size(), 3);
    QByteArray saved;
    const QStringList verdicts = results.split(u"; "_s);
    for (qsizetype row = 0; row < verdicts.size(); ++row)
        saved += verdicts[row].startsWith(u"pass"_s)
            ? (allData ? m_rows[row].join(u'\t') : m_rows[row][0] + u':' + m_rows[row][1]).toUtf8() + "\r\n"
            : QByteArray();
    QCOMPARE(ReadFile(m_folder.filePath(u"w.txt"_s)), saved);
    QCOMPARE(fields.join(u", "_s),
             u", 256, 6, "_s + (judged ? judge.url().toString() : QString())
                 + u", 4, 30, Judge=Judge address, Jobs=Jobs, Timeout=Time-out in seconds, JudgeLabel=Judge:, "
                   u"JobsLabel=Jobs:, TimeoutLabel=Time-out (seconds):, Results=Checked proxies, Rate=Proxies checked "
                   u"a second, Status=Check status, Start=Start, SaveWorking=Save Working..., Close=Close"_s);
    QCOMPARE(closed, u"&Start Stopped. closed"_s);
}

void TstCheckWindow::refusesWhatItCannotCheck_data()
{
    QTest::addColumn<QStringList>("fields"); // judge, jobs, time-out
    QTest::addColumn<QString>("told"); // the message's style number, the control with the focus, the text
    const QString closed = u"http://127.0.0.1:%1/"_s.arg(ClosedLoopbackPort());
    QTest::newRow("judge over https") << QStringList{u"https://127.0.0.1/"_s, u"4"_s, u"6"_s}
                                      << u"48 Judge: The judge \"https://127.0.0.1/\" is not an http:// address "
                                         u"with a host. Leave it empty to check without a judge, up to \"speaks\"."_s;
    QTest::newRow("no jobs") << QStringList{{}, u"0"_s, u"6"_s}
                             << u"48 Jobs: The jobs \"0\" are not a whole number from 1 to 10000."_s;
    QTest::newRow("time-out in words") << QStringList{
        {}, u"4"_s, u"soon"_s} << u"48 Timeout: The time-out \"soon\" is not a number of seconds from 0.1 to 3600."_s;
    QTest::newRow("judge out of reach") << QStringList{
        closed, u"4"_s,
        u"0.1"_s} << u"16 Start: The check stopped: the judge %1 cannot be reached: Connection refused"_s.arg(closed);
}

// Nothing starts, or the check ends at once, and the window is ready for another try.
void TstCheckWindow::refusesWhatItCannotCheck()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, told);
    ProxyCheckWindow window({{u"127.0.0.2"_s, u"8080"_s, {}, {}, {}}}, {*this, m_prompter, *this}, m_folder.path());
    window.show();
    auto* judge = window.findChild<QLineEdit*>(u"Judge"_s);
    for (const QString& name : {u"Judge"_s, u"Jobs"_s, u"Timeout"_s})
        window.findChild<QLineEdit*>(name)->setText(fields.takeFirst());
    auto* start = window.findChild<QPushButton*>(u"Start"_s);
    QTest::mouseClick(start, Qt::LeftButton);
    QTRY_COMPARE(m_prompter.messages.size(), 1);
    QCOMPARE(u"%1 %2: %3"_s.arg(int(m_prompter.messages[0].style))
                 .arg(window.focusWidget()->objectName(), m_prompter.messages[0].text),
             told);
    QCOMPARE(window.findChild<CaptionedProgressBar*>()->caption() + u", "_s + start->text()
                 + (judge->isEnabled() ? u""_s : u", locked"_s),
             u"Checked 0 of 1, 0 working, &Start"_s);
}

// A page parses faster than the yield lets window events run: each stage paints its caption at
// once all the same, and each begins at 0, before it counts its lines.
void TstCheckWindow::everyStageOfAPageIsPainted()
{
    auto* bar = m_window->findChild<CaptionedProgressBar*>(u"P1"_s);
    QCoreApplication::processEvents();
    QStringList painted;
    QStringList atYields; // what window events would show, were they let run there
    const auto note = [bar](QStringList& seen) {
        if (const QString now = u"%1 %2/%3"_s.arg(bar->caption()).arg(bar->value()).arg(bar->maximum());
            !seen.endsWith(now))
            seen.append(now);
    };
    m_onPaint = [&] { note(painted); };
    bar->installEventFilter(this);
    m_yielder.onYield = [&] { note(atYields); };
    harvest(1);
    QCoreApplication::processEvents();
    QCOMPARE(painted.join(u", "_s),
             u"Parsing Data... 0/20, Extracting Proxys... 0/8, Current Page Extraction "
             u"Complete. 0/8, Extraction Completed. 0/8"_s);
    QCOMPARE(atYields.join(u", "_s),
             u"Idle 0/100, Parsing Data... 0/20, Extracting Proxys... 5/8, Current Page "
             u"Extraction Complete. 0/8"_s);
}

QTEST_MAIN(TstCheckWindow)
#include "tst_checkwindow.moc"
