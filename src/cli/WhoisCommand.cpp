#include "WhoisCommand.h"

#include "AddressArgument.h"
#include "Console.h"
#include "ExitStatus.h"
#include "PlainText.h"

#include <QCommandLineParser>

#include <chrono>

using namespace Qt::StringLiterals;

namespace {

bool HasEnded(WhoisSession::State state)
{
    return state != WhoisSession::State::NotStarted && state != WhoisSession::State::Connecting
        && state != WhoisSession::State::Receiving;
}

} // namespace

WhoisCommand::WhoisCommand(Console& console, WhoisLimits limits)
    : m_console(console)
    , m_limits(limits)
{
}

QString WhoisCommand::name() const
{
    return u"whois"_s;
}

QString WhoisCommand::synopsis() const
{
    return u"ADDRESS [--whois-server HOST[:PORT]]"_s;
}

QString WhoisCommand::help() const
{
    return uR"(prints the whois transcript for ADDRESS as it arrives
  --whois-server HOST[:PORT]  ask HOST instead of whois.arin.net (port 43)
)"_s;
}

QList<QCommandLineOption> WhoisCommand::options() const
{
    return {m_whoisServer};
}

std::optional<QString> WhoisCommand::read(const QCommandLineParser& parsed)
{
    const std::optional<QString> address = OneAddress(parsed.positionalArguments());
    if (!address)
        return u"whois needs one ADDRESS"_s;
    const std::variant<HostPort, QString> server =
        ReadServerOption(parsed, m_whoisServer, {QString::fromLatin1(WhoisSession::DefaultServerHost), {}});
    if (const auto* refused = std::get_if<QString>(&server))
        return *refused;
    m_request = {*address, std::get<HostPort>(server)};
    return std::nullopt;
}

int WhoisCommand::run()
{
    m_session.emplace(
        m_request.server, [address = m_request.address] { return std::optional<QString>(address); }, m_limits);
    connect(&*m_session, &WhoisSession::appended, this, &WhoisCommand::onAppended);
    m_session->start();
    if (!HasEnded(m_session->state()))
        return m_loop.exec();
    return endingStatus();
}

void WhoisCommand::interrupt()
{
    if (m_session)
        m_session->close();
    m_loop.exit(ExitStatus::Stopped);
}

// The session tells its ending in the last piece it appends, after its state has changed.
void WhoisCommand::onAppended(const QString& piece)
{
    // Escape sequences from the server would drive the terminal; the window shows them as
    // control pictures, and so does this.
    if (!m_console.writeOut(DisplayText(piece).toUtf8())) {
        m_console.tell(u"cannot write to standard output: "_s + m_console.outError());
        m_session->close();
        m_loop.exit(ExitStatus::FileFailure);
        return;
    }
    if (HasEnded(m_session->state()) && m_loop.isRunning())
        m_loop.exit(endingStatus());
}

int WhoisCommand::endingStatus()
{
    switch (m_session->state()) {
    case WhoisSession::State::Ended:
        return ExitStatus::Done;
    case WhoisSession::State::TimedOut:
        m_console.tell(u"no connection to the whois server %1 within %2 seconds"_s.arg(
            serverName(),
            QString::number(std::chrono::duration_cast<std::chrono::seconds>(m_limits.connectTimeout).count())));
        return ExitStatus::Unreachable;
    case WhoisSession::State::Failed:
        m_console.tell(u"the whois server %1 cannot be reached, or broke the connection off"_s.arg(serverName()));
        return ExitStatus::Unreachable;
    case WhoisSession::State::AnswerTooLong:
        m_console.tell(u"the answer was cut short after %1 bytes"_s.arg(m_limits.answerCap));
        return ExitStatus::No;
    case WhoisSession::State::NotStarted:
    case WhoisSession::State::Connecting:
    case WhoisSession::State::Receiving:
    case WhoisSession::State::NoProxySelected:
    case WhoisSession::State::Closed:
        break;
    }
    return ExitStatus::Stopped;
}

QString WhoisCommand::serverName() const
{
    return m_request.server.host + u':' + QString::number(m_request.server.portOr(WhoisSession::DefaultServerPort));
}
