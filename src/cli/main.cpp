#include "CliArguments.h"
#include "Console.h"
#include "ConsolePrompter.h"
#include "EventYielder.h"
#include "ExitStatus.h"
#include "HarvestCommand.h"
#include "HttpPageFetcher.h"
#include "InterruptNotifier.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "PingVerdict.h"
#include "RawSocketPrivilege.h"
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

int Harvest(const HarvestRequest& request, Console& console)
{
    HttpPageFetcher fetcher;
    ThrottledEventYielder yielder;
    HarvestCommand command(request, console, fetcher, yielder);
    const InterruptNotifier interrupts;
    QObject::connect(&interrupts, &InterruptNotifier::interrupted, &interrupts, [&command] { command.interrupt(); });
    return command.run();
}

int Whois(const WhoisRequest& request, Console& console)
{
    WhoisCommand command(request, console);
    const InterruptNotifier interrupts;
    QObject::connect(&interrupts, &InterruptNotifier::interrupted, &command, &WhoisCommand::interrupt);
    return command.run();
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
    if (const auto* whois = std::get_if<WhoisRequest>(&request))
        return Whois(*whois, console);
    if (const auto* ping = std::get_if<PingRequest>(&request))
        return Ping(*ping, console);
    return ExitStatus::Usage;
}
