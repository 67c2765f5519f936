#include "CheckCommand.h"
#include "CliArguments.h"
#include "Console.h"
#include "ConsolePrompter.h"
#include "EventYielder.h"
#include "ExitStatus.h"
#include "HarvestCommand.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "PingReport.h"
#include "RawSocketPrivilege.h"
#include "StopSignalNotifier.h"
#include "WhoisCommand.h"

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
template <typename Command>
int RunStoppable(Command& command)
{
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

int Harvest(const HarvestRequest& request, Console& console)
{
    HttpPageFetcher fetcher;
    ThrottledEventYielder yielder;
    HarvestCommand command(request, console, fetcher, yielder);
    return RunStoppable(command);
}

int Check(const CheckRequest& request, Console& console)
{
    CheckCommand command(request, console);
    // Until the lists are read, a stop signal ends the program the usual way: nothing is
    // checked yet, and a read that waits on a terminal or a pipe could not be stopped otherwise.
    if (!command.readLists())
        return ExitStatus::Usage;
    return RunStoppable(command);
}

int Whois(const WhoisRequest& request, Console& console)
{
    WhoisCommand command(request, console);
    return RunStoppable(command);
}

int Ping(const PingRequest& request, Console& console)
{
    ConsolePrompter prompter(console);
    LinuxIcmpLibrary icmp(prompter);
    LinuxSocketLibrary sockets;
    return RunPing(request, console, icmp, sockets);
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
    const CliRequest request = ParseCliArguments(QCoreApplication::arguments());
    if (const auto* answer = std::get_if<PrintedAnswer>(&request))
        return Answer(*answer, console);
    if (const auto* harvest = std::get_if<HarvestRequest>(&request))
        return Harvest(*harvest, console);
    if (const auto* check = std::get_if<CheckRequest>(&request))
        return Check(*check, console);
    if (const auto* whois = std::get_if<WhoisRequest>(&request))
        return Whois(*whois, console);
    if (const auto* ping = std::get_if<PingRequest>(&request))
        return Ping(*ping, console);
    return ExitStatus::Usage;
}
