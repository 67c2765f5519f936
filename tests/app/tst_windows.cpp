#include "CaptionedProgressBar.h"
#include "ClosedPort.h"
#include "DemoListSite.h"
#include "DialogRunner.h"
#include "Form1.h"
#include "Form3.h"
#include "Form4.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "RecordingPrompter.h"
#include "SaveFilePrompter.h"
#include "ScriptedHttpServer.h"
#include "ScriptedYielder.h"
#include "Twips.h"
#include "UrlOpener.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <qpa/qwindowsysteminterface.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The desktop around the windows: the file question is dismissed, the browser's addresses are
// kept, and each window to be shown modally is handed to the test and closed at once.
class Desktop final : public SaveFilePrompter, public UrlOpener, public DialogRunner
{
public:
    std::optional<QString> askSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
    void openUrl(const QString& address) override { opened.append(address); }
    void runModal(QDialog& window) override { shown(window); }

    QStringList opened;
    std::function<void(QDialog&)> shown = [](QDialog&) {};
};

// What a screen reader must name: whatever takes the focus, whatever its class and whether it has
// an object name or not, and the texts and bars. A label or a button is named by its text; any
// other control by a name of its own, not by its caption's text with the colon.
QStringList UnnamedControls(const QWidget& window)
{
    QStringList unnamed;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool control = widget->focusPolicy() != Qt::NoFocus || qobject_cast<QLabel*>(widget)
            || widget->inherits("CaptionedProgressBar");
        const bool named = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)
            ? !QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).trimmed().isEmpty()
            : !widget->accessibleName().isEmpty();
        if (control && !named)
            unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName());
    }
    return unnamed;
}

// Controls that overlap a sibling by more than a pixel or two: one left without its place lands
// on another. A plain frame is an outline, not a control.
QStringList Overlapping(const QWidget& parent)
{
    QList<QWidget*> controls = parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    controls.removeIf([](const QWidget* widget) { return widget->metaObject() == &QFrame::staticMetaObject; });
    QStringList found;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        if (qobject_cast<QGroupBox*>(controls[i]))
            found += Overlapping(*controls[i]);
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QRect both = controls[i]->geometry().intersected(controls[j]->geometry());
            if (both.width() > 2 && both.height() > 2)
                found += controls[i]->objectName() + u" on "_s + controls[j]->objectName();
        }
    }
    return found;
}

// How the keyboard walks the window: the tab order from the control with the focus, marked "*".
QString TabOrder(const QWidget& window)
{
    QStringList order;
    QWidget* const first = window.focusWidget() ? window.focusWidget() : window.nextInFocusChain();
    QWidget* next = first;
    do {
        if ((next->focusPolicy() & Qt::TabFocus) != 0)
            order += next->objectName() + (next == window.focusWidget() ? u"*"_s : QString());
        next = next->nextInFocusChain();
    } while (next != first);
    return QString::fromLatin1(window.metaObject()->className()) + u": "_s + order.join(u' ');
}

} // namespace

class TstWindows final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void inputDuringAFetchIsTakenAtOnce_data();
    void inputDuringAFetchIsTakenAtOnce();
    void everyWindowIsNamedAndCentred();
    void anEnlargedWindowGivesTheRoomToTheTable();
    void detailsAndAboutShowPlainTextAndCloseOnlyByOk();
    void noWindowSystemIsToldInALine();
    void stopSignalIsAQuit_data();
    void stopSignalIsAQuit();

private:
    QPushButton* button(const QString& name) const { return m_window->findChild<QPushButton*>(name); }
    QString controls() const; // the start button's caption and how many list actions are usable
    QString shown() const;

    const DemoListSite m_pages{DemoListSite::Options{}};
    std::unique_ptr<ScriptedHttpServer> m_site; // serves the demo pages; holds the m_holdAt-th request
    qsizetype m_holdAt = 0;
    QPointer<QTcpSocket> m_held;
    QTemporaryDir m_folder;
    HttpPageFetcher m_fetcher{5s}; // ample on loopback: a page held by a fault fails in seconds
    ScriptedYielder m_yielder;
    RecordingPrompter m_prompter;
    Desktop m_desktop;
    LinuxIcmpLibrary m_icmp{m_prompter};
    LinuxSocketLibrary m_sockets;
    std::unique_ptr<Form1> m_window;
};

void TstWindows::init()
{
    m_holdAt = 0;
    m_site = std::make_unique<ScriptedHttpServer>([this](QTcpSocket& socket, const QByteArray& target) {
        if (m_site->targets().size() == m_holdAt)
            m_held = &socket;
        else
            ScriptedHttpServer::answer(socket, "200 OK",
                                       m_pages.page(target.sliced(target.indexOf("offset=") + 7).toInt()));
    });
    m_prompter = {};
    m_window = std::make_unique<Form1>(
        Form1::Services{m_fetcher, m_yielder, m_prompter, m_desktop, m_desktop, m_desktop, m_icmp, m_sockets},
        Form1::Settings{m_folder.path(), m_folder.path(), m_site->authority(), {u"127.0.0.1"_s, ClosedLoopbackPort()}});
    m_window->show();
}

QString TstWindows::controls() const
{
    const auto usable = std::ranges::count_if(QStringList{u"Command2"_s, u"Command3"_s, u"Command6"_s},
                                              [this](const QString& name) { return button(name)->isEnabled(); });
    return button(u"Command1"_s)->text() + u", list actions "_s + QString::number(usable) + u"/3"_s;
}

QString TstWindows::shown() const
{
    const auto* p2 = m_window->findChild<CaptionedProgressBar*>(u"P2"_s);
    const auto* p1 = m_window->findChild<CaptionedProgressBar*>(u"P1"_s);
    const QModelIndexList selected = m_window->findChild<QAbstractItemView*>()->selectionModel()->selectedRows();
    return u"%1, received %2/%3, %4 %5 | %6 %7, %8 requests, %9 messages"_s.arg(
               controls(), m_window->findChild<QLineEdit*>(u"Text1"_s)->text(),
               QString::number(m_window->table().count()), p2->caption(), QString::number(p2->value()), p1->caption(),
               QString::number(p1->value()), QString::number(m_site->targets().size()),
               QString::number(m_prompter.messages.size()))
        + (selected.size() == 1
               ? u", row %1 selected: %2"_s.arg(selected.first().row()).arg(selected.first().data().toString())
               : u", no row selected"_s);
}

void TstWindows::inputDuringAFetchIsTakenAtOnce_data()
{
    QTest::addColumn<int>("onPage"); // of 20
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("whileFetching");
    QTest::addColumn<QString>("after"); // the requests include the completed run's
    const QStringList cancel{u"Command1"_s};
    const QString stopping = u"&Get List!, list actions 0/3"_s;
    QTest::newRow("cancel on page 8") << 8 << cancel << stopping
                                      << u"&Get List!, list actions 3/3, received 800/800, Stopped. 0 | Stopped. 0, "
                                         u"9 requests, 0 messages, row 0 selected: 127.0.0.1"_s;
    QTest::newRow("cancel and start again") << 2 << cancel + cancel << stopping
                                            << u"&Get List!, list actions 3/3, received 200/200, Stopped. 0 | "
                                               u"Stopped. 0, 3 requests, 1 messages, row 0 selected: 127.0.0.1"_s;
    QTest::newRow("quit on page 2: the page is dropped")
        << 2 << QStringList{u"Command5"_s} << u"&Cancel, list actions 0/3"_s
        << u"&Cancel, list actions 0/3, received 100/100, Retrieving Page 2/20... 1 | "
           u"Current Page Extraction Complete. 0, 3 requests, 0 messages, row 0 selected: 127.0.0.1"_s;
}

// A completed run first, to see every caption it shows and to leave the list actions usable.
void TstWindows::inputDuringAFetchIsTakenAtOnce()
{
    QFETCH(int, onPage);
    QFETCH(QStringList, clicks);
    QFETCH(QString, whileFetching);
    QFETCH(QString, after);
    QStringList captions; // the pages bar | the page bar, at every change
    QString seen;
    bool clicked = false;
    const auto look = [&] {
        const QString now = m_window->findChild<CaptionedProgressBar*>(u"P2"_s)->caption() + u" | "_s
            + m_window->findChild<CaptionedProgressBar*>(u"P1"_s)->caption();
        if (captions.isEmpty() || captions.constLast() != now)
            captions.append(now);
    };
    connect(&m_window->run(), &HarvestRun::pageStarted, this, look);
    connect(&m_window->run(), &HarvestRun::parseProgressed, this, look);
    connect(&m_window->run(), &HarvestRun::finished, this, look);
    auto* text2 = m_window->findChild<QLineEdit*>(u"Text2"_s);
    text2->setText(u"1"_s);
    QTest::mouseClick(button(u"Command1"_s), Qt::LeftButton);
    const QString page = u"Retrieving Page 1/1... | "_s;
    QCOMPARE(captions,
             (QStringList{page + u"Idle"_s, page + u"Parsing Data..."_s, page + u"Extracting Proxys..."_s,
                          page + u"Current Page Extraction Complete."_s,
                          u"Extraction Completed. | Extraction Completed."_s}));
    // The site holds the page's request; the clicks come as the window system queues them, and
    // once the window has taken them all, the page is answered.
    m_holdAt = 1 + onPage;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (clicked && seen.isEmpty() && QWindowSystemInterface::windowSystemEventsQueued() == 0)
            seen = controls();
        if (!seen.isEmpty() && m_held)
            ScriptedHttpServer::answer(*std::exchange(m_held, nullptr), "200 OK",
                                       m_pages.page((onPage - 1) * DemoListSite::RowsPerPage));
        for (const QString& name : m_held && !std::exchange(clicked, true) ? clicks : QStringList()) {
            const QPoint at = button(name)->mapTo(m_window.get(), button(name)->rect().center());
            for (const auto& [buttons, type] : {std::pair{Qt::LeftButton, QEvent::MouseButtonPress},
                                                std::pair{Qt::NoButton, QEvent::MouseButtonRelease}})
                QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                    m_window->windowHandle(), at, m_window->mapToGlobal(at), buttons, Qt::LeftButton, type);
        }
    });
    poll.start(1ms);
    text2->setText(u"20"_s);
    QTest::mouseClick(button(u"Command1"_s), Qt::LeftButton);
    QTRY_COMPARE(seen, whileFetching);
    QCOMPARE(shown(), after);
}

// Every window the main window opens, as the user opens it: each names its controls, has its tab
// order, and is placed in the middle of the screen before it is shown (the window system would
// put it over its parent).
void TstWindows::everyWindowIsNamedAndCentred()
{
    QVERIFY(!m_window->findChild<QLineEdit*>(u"Text1"_s)->isEnabled()); // the received count takes no input
    const QAbstractItemModel* model = m_window->findChild<QAbstractItemView*>()->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers += model->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(headers.join(u'|'), u"IP Address|Port|Type|Country|Last Test"_s);
    QVERIFY(!m_window->findChild<QTreeView*>()->header()->sectionsMovable()); // the columns keep their order
    QStringList unnamed = UnnamedControls(*m_window) + Overlapping(*m_window);
    QStringList orders{TabOrder(*m_window)};
    m_desktop.shown = [&unnamed, &orders](QDialog& window) {
        orders += TabOrder(window);
        unnamed += UnnamedControls(window) + Overlapping(window);
        if ((window.geometry().center() - window.screen()->availableGeometry().center()).manhattanLength() > 2)
            unnamed += window.windowTitle() + u" off centre"_s;
    };
    m_window->findChild<QLineEdit*>(u"Text2"_s)->setText(u"1"_s);
    for (const QString& name : {u"Command1"_s, u"Command3"_s, u"Command2"_s, u"Command4"_s})
        QTest::mouseClick(button(name), Qt::LeftButton);
    QTest::mouseDClick(m_window->findChild<QAbstractItemView*>()->viewport(), Qt::LeftButton);
    QCOMPARE(unnamed.join(u", "_s), QString());
    QCOMPARE(orders.join(u" | "_s),
             u"Form1: Command1* List Text1 Command6 Command2 Command3 Command4 Command5 Text2 | "
             u"Form2: Text1* Command1 Command2 Check1 | Form5: Text1 Command1 | "
             u"Form4: Command1* Label3 | Form3: Text1* Command1"_s);
}

// The controls below the table keep their distance to the bottom edge and their places across,
// apart from each other; the window never gets smaller than it opened.
void TstWindows::anEnlargedWindowGivesTheRoomToTheTable()
{
    const QWidget* table = m_window->findChild<QAbstractItemView*>();
    const QList<QWidget*> controls = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const auto places = [&controls] {
        QList<QRect> places;
        for (const QWidget* control : controls)
            places.append(control->geometry());
        return places;
    };
    QCOMPARE(m_window->size(), TwipsSize(7455, 3945));
    const QList<QRect> opened = places();
    QList<QRect> enlarged;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        enlarged.append(controls[i] == table ? opened[i].adjusted(0, 0, 400, 300) : opened[i].translated(0, 300));
        for (qsizetype j = 0; j < i; ++j)
            QVERIFY(!enlarged[i].intersects(enlarged[j]));
    }
    m_window->resize(m_window->size() + QSize(400, 300));
    QCOMPARE(places(), enlarged);
    m_window->resize(100, 100);
    QCOMPARE(m_window->size(), TwipsSize(7455, 3945));
    QCOMPARE(places(), opened);
}

void TstWindows::detailsAndAboutShowPlainTextAndCloseOnlyByOk()
{
    ProxyTable table;
    table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
    table.append({u" 10.0.0.2"_s, u"3128"_s, QString(), u"<b>Japan</b>"_s, u"now "_s});
    table.select(1); // its fields as the table holds them: spaces, markup and an empty one
    const Form3 details(table);
    const auto* text = details.findChild<QPlainTextEdit*>();
    QCOMPARE(text->toPlainText() + (text->isReadOnly() ? u" (read-only)"_s : QString()),
             u"Proxy IP:  10.0.0.2\nProxy Port: 3128\nType: \nCountry: <b>Japan</b>\nLast Test: now  (read-only)"_s);
    Form4 about(m_desktop);
    about.show();
    auto* address = about.findChild<QLabel*>(u"Label3"_s); // dark blue on white
    QCOMPARE(about.grab().toImage().pixelColor(about.width() - 4, 4), QColor(Qt::white));
    QCOMPARE(address->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QStringList shown; // the picture has no text
    for (const QLabel* label : about.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            shown.append(label->textFormat() == Qt::PlainText ? label->text() : u"<markup>"_s);
    QCOMPARE(shown.join(u'|'),
             u"Varnholt Proxy List Extractor|Version:|%1|Release Date:|29/04/2004|Greets:|-|"
             u"Tarnwick Inc.|https://www.tarnwick.example/"_s.arg(QStringLiteral(VARNHOLT_VERSION)));
    // A window as large as its outline and no larger, the product's name bold, the address underlined.
    QCOMPARE(about.minimumSize(), TwipsSize(4815, 2055));
    QCOMPARE(about.maximumSize(), TwipsSize(4815, 2055));
    QVERIFY(about.findChild<QLabel*>(u"Label1"_s)->font().bold() && address->font().underline());
    QCOMPARE(about.findChild<QLabel*>(u"Image1"_s)->pixmap().size(), QSize(32, 32));
    QTest::mouseClick(address, Qt::RightButton);
    QTest::mouseClick(address, Qt::LeftButton);
    QCOMPARE(m_desktop.opened, QStringList{address->text()});
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(about.isVisible());
    QTest::mouseClick(about.findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(!about.isVisible());
}

// Qt would abort with advice to reinstall the program; the program names the platform and why.
void TstWindows::noWindowSystemIsToldInALine()
{
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"absent"_s);
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(VARNHOLT_PATH), QStringList());
    QVERIFY(window.waitForFinished(60000));
    const QString told = QString::fromLocal8Bit(window.readAllStandardError());
    QVERIFY2(told.startsWith(u"varnholt: cannot open a window: "_s) && told.contains(u"\"absent\""_s)
                 && told.count(u'\n') == 1 && told.endsWith(u'\n'),
             qPrintable(told));
    QCOMPARE((QList<int>{window.exitStatus(), window.exitCode()}), (QList<int>{QProcess::NormalExit, 1}));
}

void TstWindows::stopSignalIsAQuit_data()
{
    QTest::addColumn<bool>("runtimeFolder"); // XDG_RUNTIME_DIR names one, besides TMPDIR
    QTest::addColumn<bool>("asNobody"); // with the capability the package gives: secure mode
    QTest::addColumn<QString>("madeIn"); // runtime, temp, or a path
    QTest::newRow("in the session's runtime folder") << true << false << u"runtime"_s;
    QTest::newRow("in TMPDIR without one") << false << false << u"temp"_s;
    QTest::newRow("secure mode keeps the runtime folder") << true << true << u"runtime"_s;
    QTest::newRow("secure mode drops TMPDIR") << false << true << u"/tmp"_s;
}

// SIGTERM, as the end of the desktop session sends it, ends the real program as Quit does, and
// its work folder, made where the session tells, goes with it.
void TstWindows::stopSignalIsAQuit()
{
    QFETCH(bool, runtimeFolder);
    QFETCH(bool, asNobody);
    QFETCH(QString, madeIn);
    QTemporaryDir runtime;
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temp.path());
    environment.remove(u"XDG_RUNTIME_DIR"_s);
    if (runtimeFolder)
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    QStringList command{QStringLiteral(VARNHOLT_PATH)};
    if (asNobody) {
        if (::geteuid() != 0)
            QSKIP("only root can give a copy of the program a capability and start it as nobody");
        command = QStringList{u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                              temp.filePath(u"varnholt"_s)};
        QVERIFY(QFile::copy(QStringLiteral(VARNHOLT_PATH), command.constLast()));
        QVERIFY(::chmod(QFile::encodeName(temp.path()).constData(), 0755) == 0
                && ::chown(QFile::encodeName(runtime.path()).constData(), 65534, 65534) == 0);
        if (QProcess::execute(u"setcap"_s, {u"cap_net_raw+p"_s, command.constLast()}) != 0)
            QSKIP("setcap cannot give a file a capability here");
    }
    const QString root = madeIn == u"runtime"_s ? runtime.path() : madeIn == u"temp"_s ? temp.path() : madeIn;
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(command.takeFirst(), command); // it fetches nothing until asked
    const QString name = u"varnholt-%1-*"_s.arg(window.processId());
    const auto workFolders = [&root, &name] { return QDir(root).entryList({name}, QDir::Dirs).size(); };
    // The work folder is made once the program is set to take the signal.
    QVERIFY(QTest::qWaitFor([&workFolders] { return workFolders() == 1; }, 60000));
    QVERIFY(window.processId() > 0); // 0 would be this test's whole process group
    ::kill(pid_t(window.processId()), SIGTERM);
    QVERIFY(window.waitForFinished(60000));
    QCOMPARE((QList<qsizetype>{window.exitStatus(), window.exitCode(), workFolders()}), (QList<qsizetype>{0, 0, 0}));
}

QTEST_MAIN(TstWindows)
#include "tst_windows.moc"
