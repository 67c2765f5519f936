#include "WorkFolder.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The id of a process that has ended: a child that has been reaped.
pid_t EndedProcess(const std::function<void()>& work = {})
{
    const pid_t child = fork();
    if (child == 0) {
        if (work)
            work();
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

// Everything under the root, links not followed.
QStringList Entries(const QTemporaryDir& root)
{
    QStringList found;
    QDirIterator it(root.path(), QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(root.path()).relativeFilePath(it.next()));
    found.sort();
    return found;
}

} // namespace

class TstWorkFolder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyStaleFoldersAreRemoved_data();
    void onlyStaleFoldersAreRemoved();
    void folderOfAKilledRunGoesAtTheNextStart();
};

void TstWorkFolder::onlyStaleFoldersAreRemoved_data()
{
    QTest::addColumn<QString>("name"); // %1: the process that made it
    QTest::addColumn<bool>("living");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("layout"); // page.tmp in the folder, beside a subfolder, or in the link's target
    QTest::addColumn<bool>("removed");
    const QString name = u"varnholt-%1-Ab3xYz"_s;
    QTest::newRow("process gone") << name << false << 0700 << u"file"_s << true;
    QTest::newRow("process living") << name << true << 0700 << u"file"_s << false;
    QTest::newRow("other mode") << name << false << 0755 << u"file"_s << false;
    QTest::newRow("a folder inside") << name << false << 0700 << u"subfolder"_s << false;
    QTest::newRow("a link to a folder") << name << false << 0700 << u"link"_s << false;
    QTest::newRow("other name") << u"varnholt-%1-Ab3x"_s << false << 0700 << u"file"_s << false;
}

void TstWorkFolder::onlyStaleFoldersAreRemoved()
{
    QFETCH(QString, name);
    QFETCH(bool, living);
    QFETCH(int, mode);
    QFETCH(QString, layout);
    QFETCH(bool, removed);
    QTemporaryDir root;
    const QString folder = root.filePath(name.arg(living ? getpid() : EndedProcess()));
    const QString made = layout == u"link"_s ? root.filePath(u"elsewhere"_s) : folder;
    QVERIFY(QDir().mkpath(layout == u"subfolder"_s ? made + u"/folder"_s : made));
    QVERIFY(::chmod(QFile::encodeName(made).constData(), mode_t(mode)) == 0);
    if (made != folder)
        QVERIFY(QFile::link(made, folder));
    QVERIFY(QFile(made + u"/page.tmp"_s).open(QIODevice::WriteOnly));
    const QStringList before = Entries(root);

    QCOMPARE(RemoveStaleWorkFolders(root.path()), removed ? 1 : 0);

    QCOMPARE(Entries(root), removed ? QStringList() : before);
}

void TstWorkFolder::folderOfAKilledRunGoesAtTheNextStart()
{
    QTemporaryDir root;
    EndedProcess([&root] {
        const WorkFolder folder(root.path());
        _exit(0); // as a killed program ends: with its work folder still there
    });
    QCOMPARE(Entries(root).size(), 1);

    const WorkFolder next(root.path());

    QCOMPARE(Entries(root), QStringList{QDir(next.path()).dirName()});
}

QTEST_GUILESS_MAIN(TstWorkFolder)
#include "tst_workfolder.moc"
