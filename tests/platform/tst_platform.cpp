#include "CaptionedProgressBar.h"
#include "EventYielder.h"
#include "Files.h"
#include "HostPort.h"
#include "MessageBoxPrompter.h"
#include "TextFiles.h"
#include "TextNumber.h"
#include "WorkFolder.h"

#include <QApplication>
#include <QDirIterator>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Everything under the folder, links not followed.
QStringList Entries(const QDir& dir)
{
    QStringList found;
    for (QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        found.append(dir.relativeFilePath(it.next()));
    found.sort();
    return found;
}

QImage Render(int maximum, int value, const QString& caption = {})
{
    CaptionedProgressBar bar;
    bar.setCaption(caption);
    bar.resize(300, 17);
    bar.setMaximum(maximum);
    bar.setValue(value);
    return bar.grab().toImage();
}

// The share of the bar's middle line that differs from an empty bar: the fill, whatever colours
// and gradient the style paints it in.
double FilledShare(int maximum, int value)
{
    const QImage empty = Render(10, 0);
    const QImage image = Render(maximum, value);
    const int y = image.height() / 2;
    int filled = 0;
    for (int x = 0; x < image.width(); ++x)
        filled += image.pixel(x, y) != empty.pixel(x, y) ? 1 : 0;
    return double(filled) / image.width();
}

} // namespace

class TstPlatform final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesServerNames_data();
    void parsesServerNames();
    void readsADecimalCommaAndPoint();
    void deletesFiles();
    void yielderLetsWaitingEventsRun();
    void onlyStaleWorkFoldersAreRemoved_data();
    void onlyStaleWorkFoldersAreRemoved();
    void barDrawsTheFillForTheValue_data();
    void barDrawsTheFillForTheValue();
    void messageBoxShowsPlainText_data();
    void messageBoxShowsPlainText();
};

void TstPlatform::parsesServerNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("authority"); // empty: refused
    QTest::newRow("host") << u"proxylist.varnholt.example"_s << u"proxylist.varnholt.example"_s;
    QTest::newRow("host and the lowest port") << u"127.0.0.1:1"_s << u"127.0.0.1:1"_s;
    QTest::newRow("IPv6 with port") << u"[::1]:43"_s << u"[::1]:43"_s;
    QTest::newRow("IPv6 with a scope") << u"[fe80::1%eth0]:43"_s << u"[fe80::1%eth0]:43"_s;
    for (const QString& refused :
         {u"host:0"_s, u"host:65536"_s, u"host:http"_s, u"host:"_s, QString(), u"bad host"_s, u"host/path"_s,
          u"user@host"_s, u"::1"_s, u"[::1:43"_s, u"[host]:43"_s, u"[v7.host]:43"_s, u"a..b"_s, u"[::ffff\0@*]"_s,
          u"[fe80::1%a/b@c]"_s, u"[::%1]1]:3"_s})
        QTest::addRow("refused %s", qPrintable(refused)) << refused << QString();
}

void TstPlatform::parsesServerNames()
{
    QFETCH(QString, text);
    QFETCH(QString, authority);
    const std::optional<HostPort> parsed = ParseHostPort(text);
    QCOMPARE(parsed ? parsed->authority() : QString(), authority);
}

// A number as the user's language writes it, or as C does.
void TstPlatform::readsADecimalCommaAndPoint()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QList<std::optional<double>> read{TextToNumber(u"2,5"_s), TextToNumber(u" 2.5 "_s)};
    QLocale::setDefault(QLocale::c());
    QCOMPARE(read, (QList<std::optional<double>>{2.5, 2.5}));
}

void TstPlatform::deletesFiles()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(u"temp.tmp"_s);
    QVERIFY(WriteFile(file, {}));
    QCOMPARE(DeleteFile(file), FileStatus::Ok);
    QCOMPARE(DeleteFile(file), FileStatus::NotFound);
    // A folder in the file's place cannot be deleted as a file.
    QVERIFY(QDir(folder.path()).mkpath(u"busy.tmp/inside"_s));
    QCOMPARE(DeleteFile(folder.filePath(u"busy.tmp"_s)), FileStatus::Failed);
}

// The yielder of the programs lets waiting events run once its interval has passed, within a few
// dozen calls: a click during a long parse is taken at once.
void TstPlatform::yielderLetsWaitingEventsRun()
{
    ThrottledEventYielder yielder(std::chrono::milliseconds(0));
    bool ran = false;
    QMetaObject::invokeMethod(
        this, [&ran] { ran = true; }, Qt::QueuedConnection);
    for (int call = 0; call < 64 && !ran; ++call)
        yielder.yield();
    QVERIFY(ran);
}

void TstPlatform::onlyStaleWorkFoldersAreRemoved_data()
{
    QTest::addColumn<QString>("made"); // by a killed run, or by hand: %1 the maker, page.tmp inside
    QTest::addColumn<bool>("living");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("removed");
    QTest::newRow("a killed run's") << QString() << false << 0700 << true;
    QTest::newRow("process gone") << u"varnholt-%1-Ab3xYz"_s << false << 0700 << true;
    QTest::newRow("process living") << u"varnholt-%1-Ab3xYz"_s << true << 0700 << false;
    QTest::newRow("other mode") << u"varnholt-%1-Ab3xYz"_s << false << 0755 << false;
    QTest::newRow("a folder inside") << u"varnholt-%1-Ab3xYz/folder"_s << false << 0700 << false;
    QTest::newRow("a link to a folder") << u"elsewhere -> varnholt-%1-Ab3xYz"_s << false << 0700 << false;
    QTest::newRow("other name") << u"varnholt-%1-Ab3x"_s << false << 0700 << false;
}

void TstPlatform::onlyStaleWorkFoldersAreRemoved()
{
    QFETCH(QString, made);
    QFETCH(bool, living);
    QFETCH(int, mode);
    QFETCH(bool, removed);
    QTemporaryDir root;
    const QDir dir(root.path());
    // A process that ends as a killed program does, its work folder still there.
    pid_t maker = fork();
    if (maker == 0) {
        std::optional<WorkFolder> folder;
        if (made.isEmpty())
            folder.emplace(root.path());
        _exit(0);
    }
    waitpid(maker, nullptr, 0);
    if (living)
        maker = getpid();
    const QStringList link = made.arg(maker).split(u" -> "_s);
    if (!made.isEmpty()) {
        QVERIFY(dir.mkpath(link.first()));
        const QString folder = dir.filePath(link.first().section(u'/', 0, 0));
        QVERIFY(chmod(QFile::encodeName(folder).constData(), mode_t(mode)) == 0);
        QVERIFY(WriteFile(folder + u"/page.tmp"_s, {}));
        QVERIFY(link.size() == 1 || QFile::link(folder, dir.filePath(link.last())));
    }
    const QStringList before = Entries(dir);
    QVERIFY(!before.isEmpty());
    const WorkFolder next(root.path()); // the next start sweeps before it makes its own
    QStringList after = Entries(dir);
    after.removeAll(dir.relativeFilePath(next.path()));
    QCOMPARE(after, removed ? QStringList() : before);
}

void TstPlatform::barDrawsTheFillForTheValue_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::newRow("empty range is empty, not busy") << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("half") << 10 << 5 << 0.4 << 0.6;
    QTest::newRow("one of one") << 1 << 1 << 0.9 << 1.0;
    // A plain QProgressBar would drop a value above its maximum and draw nothing.
    QTest::newRow("overshoot draws full") << 3 << 7 << 0.9 << 1.0;
}

void TstPlatform::barDrawsTheFillForTheValue()
{
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    const double share = FilledShare(maximum, value);
    QVERIFY2(share >= lowest && share <= highest, qPrintable(QString::number(share)));
    QCOMPARE_NE(Render(maximum, value, u"Stopped."_s), Render(maximum, value)); // the caption shows
}

void TstPlatform::messageBoxShowsPlainText_data()
{
    QTest::addColumn<MessageStyle>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("plain") << MessageStyle::Plain << QMessageBox::NoIcon;
    QTest::newRow("stop") << MessageStyle::Stop << QMessageBox::Critical;
    QTest::newRow("exclamation") << MessageStyle::Exclamation << QMessageBox::Warning;
    QTest::newRow("information") << MessageStyle::Information << QMessageBox::Information;
}

void TstPlatform::messageBoxShowsPlainText()
{
    QFETCH(MessageStyle, style);
    QFETCH(QMessageBox::Icon, icon);
    struct Shown
    {
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
    } shown;
    // Answered from inside the box's own loop, once the box is the modal window.
    QTimer::singleShot(0, this, [&shown] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        shown = {box->text(), box->textFormat(), box->icon(), box->windowTitle()};
        box->accept();
    });
    // Text from the network, with markup and a control character in it.
    MessageBoxPrompter().showMessage(u"<b>whois</b>\u0007\u007f\u0080\u009f\u00a0"_s, style, u"title"_s);
    QCOMPARE(shown.text, u"<b>whois</b>\u2407\u2421\ufffd\ufffd\u00a0"_s);
    QCOMPARE(shown.format, Qt::PlainText);
    QCOMPARE(shown.icon, icon);
    QCOMPARE(shown.title, u"title"_s);
}

QTEST_MAIN(TstPlatform)
#include "tst_platform.moc"
