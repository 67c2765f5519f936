#include "CliArguments.h"

#include "Console.h"
#include "ExitStatus.h"
#include "HarvestRun.h"
#include "PlainText.h"
#include "TextNumber.h"
#include "WhoisSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr auto Usage = R"(Usage: varnholt-cli harvest [--pages N] [--site HOST[:PORT]] [--format ip-port|all]
                            [--separator TEXT] [-o FILE] [--quiet]
       varnholt-cli check [FILE...] [--jobs N] [--timeout SECONDS] [--judge URL]
                          [--expect TEXT] [--require reachable|speaks|works]
                          [--report] [--quiet]
       varnholt-cli whois ADDRESS [--whois-server HOST[:PORT]]
       varnholt-cli ping ADDRESS
       varnholt-cli --help | --version
)";

constexpr auto Details = R"(
Harvests the Varnholt open-proxy list, looks up who holds an address and pings it, as the
windows of varnholt do, for scripts.

harvest   fetches N pages of the list (1 to 20, default 20) and writes one line per proxy
  --pages N            the number of pages, as the window's page box takes it
  --site HOST[:PORT]   fetch the pages from HOST instead of the list site
  --format ip-port|all address, separator and port (the default), or the five fields
                       separated by tabs
  --separator TEXT     what goes between address and port (default ":")
  -o, --output FILE    append the list to FILE instead of writing it to standard output
  -q, --quiet          no progress on standard error; warnings and errors still come
  Ctrl+C stops after the page in progress and writes the rows so far; a second Ctrl+C
  stops at once and writes nothing. SIGTERM and SIGHUP count as Ctrl+C.
check     checks every proxy of the list files (standard input without FILE, or for -),
          many at once, and prints the lines of those that pass, as they were read
  --jobs N             proxies checked at once (1 to 1000, default 64)
  --timeout SECONDS    the most one proxy may take (default 6)
  --judge URL          an http:// page each proxy must fetch for the level "works"
  --expect TEXT        the judge's page must hold TEXT
  --require LEVEL      reachable (a TCP connection opens), speaks (it answers the HTTP,
                       SOCKS5 or SOCKS4 handshake; the default) or works (the judge's page
                       comes back through it; the default with --judge)
  --report             one tab-separated line per proxy instead: address, port, type,
                       verdict, level reached, connect time and total time in ms
  -q, --quiet          no progress on standard error
  Ctrl+C stops the check and prints the results so far.
whois     prints the whois transcript for ADDRESS as it arrives
  --whois-server HOST[:PORT]  ask HOST instead of whois.arin.net (port 43)
ping      sends one ICMP echo to ADDRESS and prints the verdict

Exit status: 0 done, 1 the answer is no (no proxy rows, no proxy passed the check, a dead
address, a whois answer cut short), 2 bad usage or an unreadable list file to check, 3 the
site or server could not be reached, 4 the list or a page could not be stored, 130 stopped
by Ctrl+C, 143 by SIGTERM, 129 by SIGHUP.
)";

constexpr int MaxJobs = 1000; // each job is an open socket: a thousand stays well within the usual descriptor limit
constexpr int MaxTimeoutSeconds = 3600;

enum class Command { Harvest, Check, Whois, Ping };

struct OptionUse
{
    QCommandLineOption option;
    std::vector<Command> commands;
};

PrintedAnswer Refusal(const QString& reason)
{
    return {QString::fromLatin1(Console::ProgramName) + u": "_s + reason + u'\n' + QString::fromLatin1(Usage),
            ExitStatus::Usage, true};
}

// Reads the command line once its options are known to be well formed.
class ArgumentReader final
{
public:
    ArgumentReader()
    {
        m_parser.addOptions({m_help, m_version});
        for (const OptionUse& use : m_uses)
            m_parser.addOption(use.option);
    }

    CliRequest read(const QStringList& arguments)
    {
        if (!m_parser.parse(arguments))
            return Refusal(m_parser.errorText());
        if (m_parser.isSet(m_help))
            return PrintedAnswer{QString::fromLatin1(Usage) + QString::fromLatin1(Details)};
        if (m_parser.isSet(m_version))
            return PrintedAnswer{QString::fromLatin1(Console::ProgramName) + u' '
                                 + QCoreApplication::applicationVersion() + u'\n'};
        QStringList positional = m_parser.positionalArguments();
        if (positional.isEmpty())
            return Refusal(u"no command given"_s);
        const QString name = positional.takeFirst();
        const std::optional<Command> command = commandNamed(name);
        if (!command)
            return Refusal(u"unknown command \"%1\""_s.arg(name));
        for (const OptionUse& use : m_uses) {
            const bool fits = std::find(use.commands.begin(), use.commands.end(), *command) != use.commands.end();
            if (!fits && m_parser.isSet(use.option))
                return Refusal(u"--%1 does not go with %2"_s.arg(use.option.names().constLast(), name));
        }
        switch (*command) {
        case Command::Harvest:
            return harvest(positional);
        case Command::Check:
            return check(positional);
        case Command::Whois:
            return whois(positional);
        case Command::Ping:
            return ping(positional);
        }
        return Refusal(u"unknown command \"%1\""_s.arg(name));
    }

private:
    static std::optional<Command> commandNamed(const QString& name)
    {
        if (name == u"harvest"_s)
            return Command::Harvest;
        if (name == u"check"_s)
            return Command::Check;
        if (name == u"whois"_s)
            return Command::Whois;
        if (name == u"ping"_s)
            return Command::Ping;
        return std::nullopt;
    }

    CliRequest harvest(const QStringList& rest) const
    {
        if (!rest.isEmpty())
            return Refusal(u"unexpected argument \"%1\""_s.arg(rest.constFirst()));
        HarvestRequest request;
        // Any number goes to the run, which takes it as the window's page box would; a text
        // that is no number at all is refused here, where a script can be told.
        request.pageCount = m_parser.isSet(m_pages) ? m_parser.value(m_pages) : u"20"_s;
        if (!TextToNumber(request.pageCount))
            return Refusal(
                u"invalid --pages value \"%1\": expected a number of pages from 1 to 20"_s.arg(request.pageCount));

        const std::variant<HostPort, QString> site =
            ReadServerOption(m_parser, m_site, {QString::fromLatin1(HarvestRun::DefaultSiteHost), {}});
        if (const auto* refusal = std::get_if<QString>(&site))
            return Refusal(*refusal);
        request.site = std::get<HostPort>(site);

        const QString format = m_parser.isSet(m_format) ? m_parser.value(m_format) : u"ip-port"_s;
        if (format == u"all"_s) {
            if (m_parser.isSet(m_separator))
                return Refusal(u"--separator goes with --format ip-port only"_s);
            request.format = {ListFormat::Layout::AllData, {}};
        } else if (format == u"ip-port"_s) {
            request.format = {ListFormat::Layout::AddressAndPort,
                              m_parser.isSet(m_separator) ? m_parser.value(m_separator) : u":"_s};
        } else {
            return Refusal(u"invalid --format value \"%1\": expected ip-port or all"_s.arg(format));
        }

        if (m_parser.isSet(m_output)) {
            if (m_parser.value(m_output).isEmpty())
                return Refusal(u"-o needs a file name"_s);
            request.outputFile = m_parser.value(m_output);
        }
        request.quiet = m_parser.isSet(m_quiet);
        return request;
    }

    CliRequest check(const QStringList& files) const
    {
        CheckRequest request;
        request.files = files;
        request.report = m_parser.isSet(m_report);
        request.quiet = m_parser.isSet(m_quiet);
        if (m_parser.isSet(m_jobs)) {
            const std::optional<double> jobs = TextToNumber(m_parser.value(m_jobs));
            // Written so that a NaN fails every comparison and is refused.
            if (!jobs || !(*jobs >= 1 && *jobs <= MaxJobs) || *jobs != std::floor(*jobs))
                return Refusal(u"invalid --jobs value \"%1\": expected a whole number from 1 to %2"_s.arg(
                    m_parser.value(m_jobs), QString::number(MaxJobs)));
            request.jobs = int(*jobs);
        }
        if (m_parser.isSet(m_timeout)) {
            const std::optional<double> seconds = TextToNumber(m_parser.value(m_timeout));
            if (!seconds || !(*seconds >= 0.1 && *seconds <= MaxTimeoutSeconds))
                return Refusal(u"invalid --timeout value \"%1\": expected seconds from 0.1 to %2"_s.arg(
                    m_parser.value(m_timeout), QString::number(MaxTimeoutSeconds)));
            request.probe.timeout = std::chrono::milliseconds(qint64(*seconds * 1000));
        }
        if (m_parser.isSet(m_expect) && !m_parser.isSet(m_judge))
            return Refusal(u"--expect goes with --judge only"_s);
        if (m_parser.isSet(m_judge)) {
            request.judge =
                JudgeAt(QUrl(m_parser.value(m_judge), QUrl::StrictMode), m_parser.value(m_expect).toUtf8());
            if (!request.judge)
                return Refusal(u"invalid --judge value \"%1\": expected an http:// URL with a host"_s.arg(
                    DisplayText(m_parser.value(m_judge))));
            request.required = ProbeLevel::Works;
        }
        if (m_parser.isSet(m_require)) {
            const std::optional<ProbeLevel> level = LevelNamed(m_parser.value(m_require));
            if (!level)
                return Refusal(u"invalid --require value \"%1\": expected reachable, speaks or works"_s.arg(
                    m_parser.value(m_require)));
            if (*level == ProbeLevel::Works && !request.judge)
                return Refusal(u"--require works needs a --judge to fetch through each proxy"_s);
            request.required = *level;
        }
        return request;
    }

    static std::optional<QString> address(const QStringList& rest)
    {
        if (rest.size() != 1 || rest.constFirst().isEmpty() || HasControlCharacter(rest.constFirst()))
            return std::nullopt;
        return rest.constFirst();
    }

    CliRequest whois(const QStringList& rest) const
    {
        const std::optional<QString> asked = address(rest);
        if (!asked)
            return Refusal(u"whois needs one ADDRESS"_s);
        const std::variant<HostPort, QString> server =
            ReadServerOption(m_parser, m_whoisServer, {QString::fromLatin1(WhoisSession::DefaultServerHost), {}});
        if (const auto* refusal = std::get_if<QString>(&server))
            return Refusal(*refusal);
        return WhoisRequest{*asked, std::get<HostPort>(server)};
    }

    static CliRequest ping(const QStringList& rest)
    {
        const std::optional<QString> asked = address(rest);
        if (!asked)
            return Refusal(u"ping needs one ADDRESS"_s);
        return PingRequest{*asked};
    }

    QCommandLineParser m_parser;
    const QCommandLineOption m_help{{u"h"_s, u"help"_s}};
    const QCommandLineOption m_version{u"version"_s};
    const QCommandLineOption m_pages{u"pages"_s, {}, u"N"_s};
    const QCommandLineOption m_site{u"site"_s, {}, u"HOST[:PORT]"_s};
    const QCommandLineOption m_format{u"format"_s, {}, u"FORMAT"_s};
    const QCommandLineOption m_separator{u"separator"_s, {}, u"TEXT"_s};
    const QCommandLineOption m_output{{u"o"_s, u"output"_s}, {}, u"FILE"_s};
    const QCommandLineOption m_quiet{{u"q"_s, u"quiet"_s}};
    const QCommandLineOption m_jobs{u"jobs"_s, {}, u"N"_s};
    const QCommandLineOption m_timeout{u"timeout"_s, {}, u"SECONDS"_s};
    const QCommandLineOption m_judge{u"judge"_s, {}, u"URL"_s};
    const QCommandLineOption m_expect{u"expect"_s, {}, u"TEXT"_s};
    const QCommandLineOption m_require{u"require"_s, {}, u"LEVEL"_s};
    const QCommandLineOption m_report{u"report"_s};
    const QCommandLineOption m_whoisServer{u"whois-server"_s, {}, u"HOST[:PORT]"_s};
    const std::vector<OptionUse> m_uses{
        {m_pages, {Command::Harvest}},     {m_site, {Command::Harvest}},
        {m_format, {Command::Harvest}},    {m_separator, {Command::Harvest}},
        {m_output, {Command::Harvest}},    {m_quiet, {Command::Harvest, Command::Check}},
        {m_jobs, {Command::Check}},        {m_timeout, {Command::Check}},
        {m_judge, {Command::Check}},       {m_expect, {Command::Check}},
        {m_require, {Command::Check}},     {m_report, {Command::Check}},
        {m_whoisServer, {Command::Whois}},
    };
};

} // namespace

CliRequest ParseCliArguments(const QStringList& arguments)
{
    return ArgumentReader().read(arguments);
}
