#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTest>

// Some cases need a network that loopback alone cannot give, such as an address that never
// answers. Such a test runs its own function again in a child process inside a network
// namespace of its own, shaped by a few setup commands; nothing it sends can leave there.
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

inline bool Inside()
{
    return qEnvironmentVariableIsSet(InsideVariable);
}

struct Finished
{
    bool ran = false;
    int exitCode = -1;
    QString output;
};

inline Finished RunUnshared(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(InsideVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("unshare"), QStringList{QStringLiteral("--net")} + arguments);
    const bool ran =
        process.waitForStarted() && process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    QString output = QString::fromLocal8Bit(process.readAll());
    if (!ran)
        output += QStringLiteral(" (unshare: ") + process.errorString() + u')';
    return {ran, ran ? process.exitCode() : -1, output};
}

// Runs the current test function of this program, and its current row, in a fresh network
// namespace after the setup commands, through the wrapper command given (such as setpriv
// dropping a capability). Unavailable, with the reason, where namespaces or the commands are
// not allowed.
inline Run RunTestFunction(const QStringList& setup, const QStringList& wrapper = {})
{
    const Finished probe = RunUnshared({QStringLiteral("true")});
    if (!probe.ran || probe.exitCode != 0)
        return {Run::Outcome::Unavailable, QStringLiteral("no network namespace can be made here: ") + probe.output};
    const QString script =
        QStringLiteral("{ %1; } || exit %2; exec \"$@\"").arg(setup.join(QStringLiteral(" && "))).arg(SetupFailed);
    QString testCase = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        testCase += u':' + QString::fromLatin1(QTest::currentDataTag());
    const Finished child =
        RunUnshared(QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh")} + wrapper
                    + QStringList{QCoreApplication::applicationFilePath(), testCase});
    if (child.exitCode == SetupFailed)
        return {Run::Outcome::Unavailable, QStringLiteral("the namespace could not be set up: ") + child.output};
    const bool passed = child.ran && child.exitCode == 0 && child.output.contains(QStringLiteral("PASS   : "));
    return {passed ? Run::Outcome::Passed : Run::Outcome::Failed, child.output};
}

} // namespace NetworkNamespace

// Where the test is not yet inside its namespace, runs it there and ends here with the
// child's verdict; inside, the test goes on.
#define VARNHOLT_RUN_IN_NETWORK_NAMESPACE(...)                                                   \
    if (!NetworkNamespace::Inside()) {                                                           \
        const NetworkNamespace::Run run = NetworkNamespace::RunTestFunction(__VA_ARGS__);        \
        if (run.outcome == NetworkNamespace::Run::Outcome::Unavailable)                          \
            QSKIP(qPrintable(run.output));                                                       \
        QVERIFY2(run.outcome == NetworkNamespace::Run::Outcome::Passed, qPrintable(run.output)); \
        return;                                                                                  \
    }
