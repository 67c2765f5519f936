#include "CommandLine.h"
#include "Console.h"
#include "ConsolePrompter.h"
#include "EventYielder.h"
#include "ExitStatus.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "RawSocketPrivilege.h"
#include "StopSignalNotifier.h"
#include "VarnholtCommands.h"

#include <QCoreApplication>

namespace {

int Answer(const PrintedAnswer& answer, Console& console)
{
    if (answer.toStandardError)
        console.writeErr(answer.text);
    else if (!console.writeOut(answer.text.toUtf8()))
        return ExitStatus::FileFailure;
    return answer.exitStatus;
}

// Ctrl+C, SIGTERM and SIGHUP each come to the command as one Ctrl+C. A command they stopped
// ends with 128 + the number of the first of them, as a shell reports a program that signal
// ended: 130 for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP.
int RunStoppable(CliCommand& command)
{
    if (!command.takesStopSignals())
        return command.run();
    const StopSignalNotifier stopSignals;
    int first = 0;
    QObject::connect(&stopSignals, &StopSignalNotifier::received, &stopSignals, [&command, &first](int signalNumber) {
        if (first == 0)
            first = signalNumber;
        command.interrupt();
    });
    const int status = command.run();
    return status == ExitStatus::Stopped && first != 0 ? 128 + first : status;
}

} // namespace

// No widgets and no display: the command line runs the windows' own classes on a core
// application, and builds here the real fetcher and providers they are given.
int main(int argc, char* argv[])
{
    RawSocketPrivilege::restrictProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(Console::ProgramName));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNHOLT_VERSION));

    Console console;
    HttpPageFetcher fetcher;
    ThrottledEventYielder yielder;
    ConsolePrompter prompter(console);
    LinuxIcmpLibrary icmp(prompter);
    LinuxSocketLibrary sockets;
    CommandLine commandLine(VarnholtCommands(console, {fetcher, yielder, icmp, sockets}));
    const std::variant<CliCommand*, PrintedAnswer> read = commandLine.read(QCoreApplication::arguments());
    if (const auto* answer = std::get_if<PrintedAnswer>(&read))
        return Answer(*answer, console);
    CliCommand& command = **std::get_if<CliCommand*>(&read);
    if (const std::optional<int> status = command.prepare())
        return *status;
    return RunStoppable(command);
}
