#include "DemoListSite.h"
#include "DesktopUrlOpener.h"
#include "DialogRunner.h"
#include "EventYielder.h"
#include "FileDialogPrompter.h"
#include "Form1.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "MessageBoxPrompter.h"
#include "WorkFolder.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

// Opens the main window against the demo site served in-process, harvests three pages as a
// user would and saves a picture of the window, for the documentation.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString output = QCoreApplication::arguments().value(1, u"main-window.png"_s);

    DemoListSite site(DemoListSite::Options{});
    const WorkFolder workFolder;
    if (!site.listen() || !workFolder.isValid())
        return 1;
    HttpPageFetcher fetcher;
    ThrottledEventYielder yielder;
    MessageBoxPrompter prompter;
    FileDialogPrompter files;
    DesktopUrlOpener browser;
    ExecDialogRunner dialogs;
    LinuxIcmpLibrary icmp(prompter);
    LinuxSocketLibrary sockets;
    Form1 window({fetcher, yielder, prompter, files, browser, dialogs, icmp, sockets},
                 {workFolder.path(), workFolder.path(), u"127.0.0.1:"_s + QString::number(site.serverPort())});
    window.show();

    bool saved = false;
    QTimer::singleShot(300, &window, [&] {
        window.findChild<QLineEdit*>(u"Text2"_s)->setText(u"3"_s);
        window.findChild<QPushButton*>(u"Command1"_s)->click();
        window.table().select(4);
        QTimer::singleShot(300, &window, [&] {
            saved = window.grab().save(output);
            QCoreApplication::quit();
        });
    });
    QApplication::exec();
    return saved ? 0 : 1;
}
