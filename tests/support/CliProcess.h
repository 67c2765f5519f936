#pragma once

#include <QProcess>
#include <QTest>

#include <csignal>
#include <functional>

// The real varnholt-cli run as a process. Only for targets that link varnholt_cli_program.

inline constexpr int LongWait = 60000;

struct Finished
{
    int exitCode = -1; // -1: it crashed or never ended
    QByteArray out;
    QByteArray err;
};

// The real program, run while the test's own servers go on serving: waiting blocks nothing
// but the test function, the test's event loop keeps running.
class CliProcess final
{
public:
    explicit CliProcess(const QStringList& arguments, const std::function<void(QProcess&)>& setUp = {})
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { m_out += m_process.readAllStandardOutput(); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                         [this] { m_err += m_process.readAllStandardError(); });
        if (setUp)
            setUp(m_process);
        m_process.start(QStringLiteral(VARNHOLT_CLI_PATH), arguments);
    }

    ~CliProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    const QByteArray& out() const { return m_out; }
    const QByteArray& err() const { return m_err; }

    // Waits until the text has appeared in out() or err(), which grow as the program writes.
    static bool waitFor(const QByteArray& stream, const QByteArray& text)
    {
        return QTest::qWaitFor([&stream, &text] { return stream.contains(text); }, LongWait);
    }

    void send(int signalNumber) { ::kill(pid_t(m_process.processId()), signalNumber); }

    Finished finish()
    {
        if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, LongWait)) {
            m_process.kill();
            m_process.waitForFinished();
            return {-1, m_out, m_err + "\n(the program did not end)"};
        }
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
        const bool normal = m_process.exitStatus() == QProcess::NormalExit;
        return {normal ? m_process.exitCode() : -1, m_out, m_err};
    }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

inline Finished RunCli(const QStringList& arguments)
{
    return CliProcess(arguments).finish();
}
