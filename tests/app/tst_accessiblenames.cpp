#include "CountingYielder.h"
#include "DialogRunner.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Form5.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "NullPrompters.h"
#include "RecordingDialogRunner.h"
#include "RecordingPrompter.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The controls a screen reader or an automation tool has to tell apart.
bool IsControl(const QWidget* widget)
{
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget)
        || qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QLabel*>(widget)
        || widget->inherits("QAbstractItemView") || widget->inherits("CaptionedProgressBar");
}

// A control inside another (the header of a table view) is part of that one.
bool IsPartOfAnotherControl(const QWidget* widget, const QWidget& window)
{
    for (const QWidget* parent = widget->parentWidget(); parent && parent != &window; parent = parent->parentWidget())
        if (IsControl(parent))
            return true;
    return false;
}

QStringList UnnamedControls(QWidget& window)
{
    QStringList unnamed;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!IsControl(widget) || IsPartOfAnotherControl(widget, window))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            unnamed.append(widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                          : widget->objectName());
    }
    return unnamed;
}

} // namespace

class TstAccessibleNames final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyControlOfEveryWindowHasAName();
};

void TstAccessibleNames::everyControlOfEveryWindowHasAName()
{
    QTemporaryDir folder;
    HttpPageFetcher fetcher;
    CountingYielder yielder;
    RecordingPrompter prompter;
    DismissingFilePrompter files;
    RecordingUrlOpener browser;
    RecordingDialogRunner dialogs;
    LinuxIcmpLibrary icmp(prompter);
    LinuxSocketLibrary sockets;
    Form1 main({fetcher, yielder, prompter, files, browser, dialogs, icmp, sockets}, {folder.path(), folder.path()});
    main.table().append({u"127.0.0.1"_s, u"80"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});

    Form2 save(main.table(), files, prompter, folder.path());
    Form3 details(main.table());
    Form4 about(browser);
    // Nothing selected: the whois window opens without connecting anywhere.
    Form5 whois(HostPort{u"127.0.0.1"_s, 1}, [] { return std::optional<QString>(); });

    const QList<QWidget*> windows{&main, &save, &details, &about, &whois};
    for (QWidget* window : windows)
        QVERIFY2(UnnamedControls(*window).isEmpty(),
                 qPrintable(window->windowTitle() + u": "_s + UnnamedControls(*window).join(u", "_s)));
}

QTEST_MAIN(TstAccessibleNames)
#include "tst_accessiblenames.moc"
