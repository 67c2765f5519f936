#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTest>

// For a network that loopback alone cannot give, such as an address that never answers, a test
// runs itself again inside a network namespace of its own: nothing it sends can leave there.
namespace NetworkNamespace {

inline constexpr auto InsideVariable = "VARNHOLT_INSIDE_NETWORK_NAMESPACE";

struct Run
{
    bool available = false;
    bool passed = false;
    QString output;
};

// Runs the shell script with the arguments in a fresh network namespace, with this test's
// marker set. Passed only when it ended normally, with status 0, within a minute.
inline Run RunUnshared(const QString& script, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(InsideVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(
        QStringLiteral("unshare"),
        QStringList{QStringLiteral("--net"), QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh")}
            + arguments);
    const bool ended = process.waitForStarted() && process.waitForFinished(60000);
    return {true, ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            QString::fromLocal8Bit(process.readAll())
                + QStringLiteral("\n(exit status %1: %2)").arg(process.exitCode()).arg(process.errorString())};
}

// Runs the current test row again in a fresh network namespace after the setup commands, through
// the wrapper given (such as setpriv). A probe first runs the setup and the wrapper alone: where
// it fails, namespaces or what the row needs cannot be had here, and the row is unavailable;
// once it has passed, whatever the row's own run comes to is its verdict.
inline Run RunTestFunction(const QStringList& setup, const QStringList& wrapper = {})
{
    const QString script = setup.join(QStringLiteral(" && ")) + QStringLiteral(" && exec \"$@\"");
    const Run probe = RunUnshared(script, wrapper + QStringList{QStringLiteral("true")});
    if (!probe.passed)
        return {false, false, QStringLiteral("this system cannot give the row its network: ") + probe.output};
    const QString testCase = QString::fromLatin1(QTest::currentTestFunction())
        + (QTest::currentDataTag() ? u':' + QString::fromLatin1(QTest::currentDataTag()) : QString());
    Run row = RunUnshared(script, wrapper + QStringList{QCoreApplication::applicationFilePath(), testCase});
    row.passed = row.passed && row.output.contains(QStringLiteral(", 0 skipped,")); // a skip there ran nothing
    return row;
}

} // namespace NetworkNamespace

// Where the test is not yet inside its namespace, runs it there and ends here with the
// child's verdict; inside, the test goes on.
#define VARNHOLT_RUN_IN_NETWORK_NAMESPACE(...)                                            \
    if (!qEnvironmentVariableIsSet(NetworkNamespace::InsideVariable)) {                   \
        const NetworkNamespace::Run run = NetworkNamespace::RunTestFunction(__VA_ARGS__); \
        if (!run.available)                                                               \
            QSKIP(qPrintable(run.output));                                                \
        QVERIFY2(run.passed, qPrintable(run.output));                                     \
        return;                                                                           \
    }
