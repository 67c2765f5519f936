#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTest>

// For a network that loopback alone cannot give, such as an address that never answers, a test
// runs itself again inside a network namespace of its own: nothing it sends can leave there.
namespace NetworkNamespace {

inline constexpr auto InsideVariable = "VARNHOLT_INSIDE_NETWORK_NAMESPACE";
// The setup script exits with this when a command it needs is missing or not permitted.
inline constexpr int SetupFailed = 77;

struct Run
{
    enum class Outcome { Passed, Failed, Unavailable };
    Outcome outcome = Outcome::Unavailable;
    QString output;
};

// The arguments run by the shell in a fresh network namespace, with this test's marker set.
inline Run RunUnshared(const QString& script, const QStringList& arguments = {})
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
    const bool ran = process.waitForStarted() && process.waitForFinished(60000);
    const QString output = QString::fromLocal8Bit(process.readAll()) + process.errorString();
    if (!ran || process.exitStatus() != QProcess::NormalExit || process.exitCode() == SetupFailed)
        return {Run::Outcome::Unavailable, output};
    const bool passed = process.exitCode() == 0 && output.contains(QStringLiteral("PASS   : "));
    return {passed ? Run::Outcome::Passed : Run::Outcome::Failed, output};
}

// Runs the current test row again in a fresh network namespace after the setup commands, through
// the wrapper given (such as setpriv); unavailable, with the reason, where that is not allowed.
inline Run RunTestFunction(const QStringList& setup, const QStringList& wrapper = {})
{
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--net"), QStringLiteral("true")}) != 0)
        return {Run::Outcome::Unavailable, QStringLiteral("no network namespace can be made here")};
    QString testCase = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        testCase += u':' + QString::fromLatin1(QTest::currentDataTag());
    return RunUnshared(
        QStringLiteral("{ %1; } || exit %2; exec \"$@\"").arg(setup.join(QStringLiteral(" && "))).arg(SetupFailed),
        wrapper + QStringList{QCoreApplication::applicationFilePath(), testCase});
}

} // namespace NetworkNamespace

// Where the test is not yet inside its namespace, runs it there and ends here with the
// child's verdict; inside, the test goes on.
#define VARNHOLT_RUN_IN_NETWORK_NAMESPACE(...)                                                   \
    if (!qEnvironmentVariableIsSet(NetworkNamespace::InsideVariable)) {                          \
        const NetworkNamespace::Run run = NetworkNamespace::RunTestFunction(__VA_ARGS__);        \
        if (run.outcome == NetworkNamespace::Run::Outcome::Unavailable)                          \
            QSKIP(qPrintable(run.output));                                                       \
        QVERIFY2(run.outcome == NetworkNamespace::Run::Outcome::Passed, qPrintable(run.output)); \
        return;                                                                                  \
    }
