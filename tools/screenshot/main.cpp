#include "DemoListSite.h"
#include "DesktopServices.h"
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
    DesktopServices desktop;
    Form1 window(desktop.services(), {workFolder.path(), workFolder.path(), site.authority()});
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
