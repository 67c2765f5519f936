#include "InitialSaveFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstInitialSaveFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void offersTheProgramFolderOnlyWhenItIsTheUsers_data();
    void offersTheProgramFolderOnlyWhenItIsTheUsers();
    void readOnlyFolderFallsBackToHome();

private:
    QTemporaryDir m_dir;
};

void TstInitialSaveFolder::offersTheProgramFolderOnlyWhenItIsTheUsers_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("expected");

    QFile file(m_dir.filePath(u"program"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString link = m_dir.filePath(u"bin-link"_s);
    QVERIFY(QFile::link(u"/usr/bin"_s, link));

    QTest::newRow("writable folder") << m_dir.path() << m_dir.path();
    QTest::newRow("missing folder") << m_dir.filePath(u"gone"_s) << QDir::homePath();
    QTest::newRow("a file, not a folder") << file.fileName() << QDir::homePath();
    QTest::newRow("installed program folder") << u"/usr/bin"_s << QDir::homePath();
    QTest::newRow("link to an installed program folder") << link << QDir::homePath();
}

void TstInitialSaveFolder::offersTheProgramFolderOnlyWhenItIsTheUsers()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, expected);
    QCOMPARE(InitialSaveFolder(programFolder), expected);
}

void TstInitialSaveFolder::readOnlyFolderFallsBackToHome()
{
    QTemporaryDir dir;
    const QString readOnly = dir.filePath(u"read-only"_s);
    QVERIFY(QDir(dir.path()).mkdir(readOnly));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (QFileInfo(readOnly).isWritable())
        QSKIP("this user may write to a read-only folder (root)");
    QCOMPARE(InitialSaveFolder(readOnly), QDir::homePath());
}

QTEST_GUILESS_MAIN(TstInitialSaveFolder)
#include "tst_initialsavefolder.moc"
