#include "DemoListSite.h"
#include "DesktopServices.h"
#include "JudgeServer.h"
#include "ProxyCheckWindow.h"
#include "WorkFolder.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Servers that stand in for proxies at a few of the demo's addresses: the demo's proxies are
// made up and refuse every connection. Each is a judge, which answers a proxy's request as a
// web server that echoes it does; another judge, at 127.0.0.1, is the check's.
struct StandIns
{
    JudgeServer judge;
    std::vector<std::unique_ptr<JudgeServer>> proxies;
};

// Checks the harvested list as a user would and saves a picture of the check window.
void TakeCheckWindow(Form1& window, StandIns& standIns, const QString& output, bool& saved)
{
    standIns.judge.listen(QHostAddress::LocalHost, 0);
    // Every other HTTP row in sight: a SOCKS proxy would wait for the judge's time-out.
    bool other = false;
    for (int row = 1; row < 16; ++row) {
        const ProxyEntry& entry = window.table().entry(row);
        if (!entry.type.startsWith(u"HTTP"_s) || !(other = !other))
            continue;
        standIns.proxies.push_back(std::make_unique<JudgeServer>());
        standIns.proxies.back()->listen(QHostAddress(entry.ipAddress), entry.port.toUShort());
    }
    QTimer::singleShot(300, &window, [&window, &standIns, &output, &saved] {
        auto* check = window.findChild<ProxyCheckWindow*>();
        check->findChild<QLineEdit*>(u"Judge"_s)->setText(standIns.judge.url().toString());
        auto* start = check->findChild<QPushButton*>(u"Start"_s);
        start->click();
        auto* done = new QTimer(check);
        QObject::connect(done, &QTimer::timeout, check, [check, start, &output, &saved] {
            if (start->text() != u"&Start"_s)
                return;
            saved = check->grab().save(output);
            check->reject();
        });
        done->start(500);
    });
    for (QAction* action : window.actions())
        if (action->objectName() == u"mnuCheckList"_s)
            action->trigger(); // returns when the check window has closed
}

} // namespace

// Opens the main window against the demo site served in-process, harvests three pages as a
// user would and saves a picture of the window, and one of the check window when asked, for
// the documentation.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString output = QCoreApplication::arguments().value(1, u"main-window.png"_s);
    const QString checkOutput = QCoreApplication::arguments().value(2);

    DemoListSite site(DemoListSite::Options{});
    const WorkFolder workFolder;
    if (!site.listen() || !workFolder.isValid())
        return 1;
    // The check remembers what it was given; not in the user's own settings, and with the
    // defaults every time.
    qputenv("XDG_CONFIG_HOME", workFolder.path().toLocal8Bit());
    DesktopServices desktop;
    Form1 window(desktop.services(), {workFolder.path(), workFolder.path(), site.authority()});
    window.show();

    StandIns standIns;
    bool saved = false;
    bool checkSaved = checkOutput.isEmpty();
    QTimer::singleShot(300, &window, [&] {
        window.findChild<QLineEdit*>(u"Text2"_s)->setText(u"3"_s);
        window.findChild<QPushButton*>(u"Command1"_s)->click();
        window.table().select(4);
        QTimer::singleShot(300, &window, [&] {
            saved = window.grab().save(output);
            if (!checkOutput.isEmpty())
                TakeCheckWindow(window, standIns, checkOutput, checkSaved);
            QCoreApplication::quit();
        });
    });
    QApplication::exec();
    return saved && checkSaved ? 0 : 1;
}
