#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

// The real window program, run as a process on the offscreen platform.
class TstWindowProgram final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopSignalIsAQuit_data();
    void stopSignalIsAQuit();
};

void TstWindowProgram::stopSignalIsAQuit_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("end of the session") << SIGHUP;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("Ctrl+C in its terminal") << SIGINT;
}

void TstWindowProgram::stopSignalIsAQuit()
{
    QFETCH(int, signalNumber);
    QTemporaryDir temp;
    const auto workFolders = [&temp] { return QDir(temp.path()).entryList({u"varnholt-*"_s}, QDir::Dirs).size(); };
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temp.path());
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(VARNHOLT_PATH), QStringList()); // it fetches nothing until asked

    // The work folder is made once the program is set to take the signal.
    QVERIFY(QTest::qWaitFor([&workFolders] { return workFolders() == 1; }, 60000));
    ::kill(pid_t(window.processId()), signalNumber);
    QVERIFY(window.waitForFinished(60000));

    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 0);
    QCOMPARE(workFolders(), 0);
}

QTEST_GUILESS_MAIN(TstWindowProgram)
#include "tst_windowprogram.moc"
