#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

class TstWindowProgram final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopSignalIsAQuit();
};

// SIGTERM, as the end of the desktop session sends it, ends the program as Quit does.
void TstWindowProgram::stopSignalIsAQuit()
{
    QTemporaryDir temp;
    const auto workFolders = [&temp] { return QDir(temp.path()).entryList({u"varnholt-*"_s}, QDir::Dirs).size(); };
    QProcess window;
    window.setEnvironment(QProcess::systemEnvironment() << u"TMPDIR="_s + temp.path());
    window.start(QStringLiteral(VARNHOLT_PATH), QStringList()); // it fetches nothing until asked
    // The work folder is made once the program is set to take the signal.
    QVERIFY(QTest::qWaitFor([&workFolders] { return workFolders() == 1; }, 60000));
    ::kill(pid_t(window.processId()), SIGTERM);
    QVERIFY(window.waitForFinished(60000));
    QCOMPARE((QList<qsizetype>{window.exitStatus(), window.exitCode(), workFolders()}), (QList<qsizetype>{0, 0, 0}));
}

QTEST_GUILESS_MAIN(TstWindowProgram)
#include "tst_windowprogram.moc"
