#include "WorkFolder.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TstWorkFolder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyStaleFoldersAreRemoved_data();
    void onlyStaleFoldersAreRemoved();
};

void TstWorkFolder::onlyStaleFoldersAreRemoved_data()
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

void TstWorkFolder::onlyStaleFoldersAreRemoved()
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
        QVERIFY(QFile(folder + u"/page.tmp"_s).open(QIODevice::WriteOnly));
        QVERIFY(link.size() == 1 || QFile::link(folder, dir.filePath(link.last())));
    }
    const auto entries = [&dir] {
        QStringList found; // links not followed
        for (QDirIterator it(dir.path(), QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            found.append(dir.relativeFilePath(it.next()));
        return found;
    };
    const QStringList before = entries();
    QCOMPARE(before.isEmpty(), false);

    QCOMPARE(RemoveStaleWorkFolders(root.path()), removed ? 1 : 0);

    QCOMPARE(entries(), removed ? QStringList() : before);
}

QTEST_GUILESS_MAIN(TstWorkFolder)
#include "tst_workfolder.moc"
