#include "PingReport.h"

#include "Console.h"
#include "ConsolePrompter.h"
#include "ExitStatus.h"
#include "PingCommand.h"

using namespace Qt::StringLiterals;

int RunPing(const PingRequest& request, Console& console, IcmpLibrary& icmp, SocketLibrary& sockets)
{
    ConsolePrompter prompter(console);
    const PingVerdict verdict = PingCommand({icmp, sockets, prompter}).ping(request.address);
    const QString lines = QString(verdict.message).replace(u"\r\n"_s, u"\n"_s) + u'\n';
    if (!console.writeOut(lines.toUtf8())) {
        console.tell(u"cannot write to standard output: "_s + console.outError());
        return ExitStatus::FileFailure;
    }
    return verdict.alive ? ExitStatus::Done : ExitStatus::No;
}
