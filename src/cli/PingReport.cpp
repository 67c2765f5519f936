#include "PingReport.h"

#include "AddressArgument.h"
#include "Console.h"
#include "ConsolePrompter.h"
#include "ExitStatus.h"
#include "PingCommand.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

PingReport::PingReport(Console& console, IcmpLibrary& icmp, SocketLibrary& sockets)
    : m_console(console)
    , m_icmp(icmp)
    , m_sockets(sockets)
{
}

QString PingReport::name() const
{
    return u"ping"_s;
}

QString PingReport::synopsis() const
{
    return u"ADDRESS"_s;
}

QString PingReport::help() const
{
    return u"sends one ICMP echo to ADDRESS and prints the verdict\n"_s;
}

std::optional<QString> PingReport::read(const QCommandLineParser& parsed)
{
    const std::optional<QString> address = OneAddress(parsed.positionalArguments());
    if (!address)
        return u"ping needs one ADDRESS"_s;
    m_address = *address;
    return std::nullopt;
}

int PingReport::run()
{
    ConsolePrompter prompter(m_console);
    const PingVerdict verdict = PingCommand({m_icmp, m_sockets, prompter}).ping(m_address);
    const QString lines = QString(verdict.message).replace(u"\r\n"_s, u"\n"_s) + u'\n';
    if (!m_console.writeOut(lines.toUtf8())) {
        m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
        return ExitStatus::FileFailure;
    }
    return verdict.alive ? ExitStatus::Done : ExitStatus::No;
}
