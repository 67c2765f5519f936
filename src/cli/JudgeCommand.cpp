#include "JudgeCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "JudgeServer.h"
#include "OpenFilesLimit.h"
#include "PlainText.h"
#include "ProbeOptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

using namespace Qt::StringLiterals;

JudgeCommand::JudgeCommand(Console& console)
    : m_console(console)
{
}

QString JudgeCommand::name() const
{
    return u"judge"_s;
}

QString JudgeCommand::synopsis() const
{
    return u"[--listen HOST:PORT]"_s;
}

QString JudgeCommand::help() const
{
    return uR"(serves a proxy judge: every GET is answered with the request as the judge received it,
          one NAME = value line each (REMOTE_ADDR, REQUEST_URI, HTTP_VIA ...); prints its
          http:// address first and runs until a stop signal
  --listen HOST:PORT   the address and port to listen on (default 127.0.0.1 and a free port;
                       0.0.0.0:PORT for a judge that proxies anywhere can reach)
)"_s;
}

std::optional<QString> JudgeCommand::read(const QCommandLineParser& parsed)
{
    if (!parsed.positionalArguments().isEmpty())
        return u"unexpected argument \"%1\""_s.arg(parsed.positionalArguments().constFirst());
    if (!parsed.isSet(m_listen))
        return std::nullopt;
    const std::optional<ListenAddress> listen = ListenAddress::parse(parsed.value(m_listen));
    if (!listen)
        return u"invalid --listen value \"%1\": expected an IP address and a port (0 for a free one), such as "
               u"127.0.0.1:8080 or [::]:8080"_s.arg(DisplayText(parsed.value(m_listen)));
    m_address = *listen;
    return std::nullopt;
}

int JudgeCommand::run()
{
    // A check may send as many requests at once as it has probes: the judge takes as many.
    JudgeServer judge({.clients = OpenFilesLimit::raised().fitting(ProbeOptions::MaxJobs)});
    if (!judge.listen(m_address.host, m_address.port)) {
        m_console.tell(u"cannot listen on %1: %2"_s.arg(m_address.text(), judge.errorString()));
        return ExitStatus::Unreachable;
    }
    if (!m_console.writeOut(judge.url().toString().toUtf8() + '\n')) {
        m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
        return ExitStatus::FileFailure;
    }
    m_loop.exec();
    return ExitStatus::Done;
}

// A stop signal is the judge's normal end.
void JudgeCommand::interrupt()
{
    m_loop.quit();
}
