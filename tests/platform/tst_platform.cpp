#include "HostPort.h"
#include "TextFiles.h"
#include "TextNumber.h"
#include "WorkFolder.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void Touch(const QString& path, const QByteArray& content = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

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

} // namespace

class TstPlatform final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTypedNumbers_data();
    void readsTypedNumbers();
    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void parsesServerNames_data();
    void parsesServerNames();
    void deletesFiles();
    void writerEndsLinesWithCrLf_data();
    void writerEndsLinesWithCrLf();
    void onlyStaleWorkFoldersAreRemoved_data();
    void onlyStaleWorkFoldersAreRemoved();
};

void TstPlatform::readsTypedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("number");
    QTest::newRow("whole") << u"20"_s << std::optional(20.0);
    QTest::newRow("blanks around") << u"  3 "_s << std::optional(3.0);
    QTest::newRow("fraction") << u"2.5"_s << std::optional(2.5);
    QTest::newRow("negative") << u"-5"_s << std::optional(-5.0);
    QTest::newRow("empty") << QString() << std::optional<double>();
    QTest::newRow("number then letters") << u"3x"_s << std::optional<double>();
    QTest::newRow("infinity is no count") << u"inf"_s << std::optional<double>();
    QTest::newRow("huge") << u"1e300"_s << std::optional(1e300);
}

void TstPlatform::readsTypedNumbers()
{
    QFETCH(QString, text);
    QFETCH(std::optional<double>, number);
    QCOMPARE(TextToNumber(text), number);
}

void TstPlatform::roundsHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<std::optional<int>>("rounded");
    QTest::newRow("half down to even") << 2.5 << std::optional(2);
    QTest::newRow("half up to even") << 1.5 << std::optional(2);
    QTest::newRow("below half") << 20.4 << std::optional(20);
    QTest::newRow("negative half") << -0.5 << std::optional(0);
    QTest::newRow("too large for a whole number") << 1e300 << std::optional<int>();
    QTest::newRow("largest whole number") << 2147483647.0 << std::optional(2147483647);
}

void TstPlatform::roundsHalfToEven()
{
    QFETCH(double, value);
    QFETCH(std::optional<int>, rounded);
    QCOMPARE(RoundHalfToEven(value), rounded);
}

void TstPlatform::parsesServerNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("authority"); // empty: refused
    QTest::newRow("host") << u"proxylist.varnholt.example"_s << u"proxylist.varnholt.example"_s;
    QTest::newRow("host and port") << u"127.0.0.1:8080"_s << u"127.0.0.1:8080"_s;
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

void TstPlatform::deletesFiles()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(u"temp.tmp"_s);
    Touch(file);
    QCOMPARE(DeleteFile(file), FileStatus::Ok);
    QCOMPARE(DeleteFile(file), FileStatus::NotFound);
    // A folder in the file's place cannot be deleted as a file.
    QVERIFY(QDir(folder.path()).mkpath(u"busy.tmp/inside"_s));
    QCOMPARE(DeleteFile(folder.filePath(u"busy.tmp"_s)), FileStatus::Failed);

    QTemporaryDir sweep;
    QCOMPARE(DeleteMatching(sweep.path(), u"*.tmp"_s), FileStatus::NotFound);
    for (const QString& name : {u"a.tmp"_s, u".hidden.tmp"_s, u"keep.txt"_s, u"b.tmp.txt"_s})
        Touch(sweep.filePath(name));
    QCOMPARE(DeleteMatching(sweep.path(), u"*.tmp"_s), FileStatus::Ok);
    QCOMPARE(Entries(QDir(sweep.path())), (QStringList{u"b.tmp.txt"_s, u"keep.txt"_s}));
}

void TstPlatform::writerEndsLinesWithCrLf_data()
{
    QTest::addColumn<LineWriter::Mode>("mode");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("append keeps the old lines") << LineWriter::Mode::Append << QByteArray("old\r\none\r\n\r\n");
    QTest::newRow("truncate replaces them") << LineWriter::Mode::Truncate << QByteArray("one\r\n\r\n");
}

void TstPlatform::writerEndsLinesWithCrLf()
{
    QFETCH(LineWriter::Mode, mode);
    QFETCH(QByteArray, expected);
    QTemporaryDir folder;
    const QString path = folder.filePath(u"cells.tmp"_s);
    Touch(path, "old\r\n");
    LineWriter writer(path, mode);
    QCOMPARE(writer.open(), FileStatus::Ok);
    QVERIFY(writer.writeLine("one") && writer.writeLine({}) && writer.close());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
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
        Touch(folder + u"/page.tmp"_s);
        QVERIFY(link.size() == 1 || QFile::link(folder, dir.filePath(link.last())));
    }
    const QStringList before = Entries(dir);
    QVERIFY(!before.isEmpty());
    QCOMPARE(RemoveStaleWorkFolders(root.path()), removed ? 1 : 0);
    QCOMPARE(Entries(dir), removed ? QStringList() : before);
}

QTEST_GUILESS_MAIN(TstPlatform)
#include "tst_platform.moc"
