#include "CommandLine.h"

#include "Console.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype LineWidth = 80; // the usage fits a terminal of the usual width

constexpr auto Description = R"(
Harvests the Varnholt open-proxy list, checks which proxies work, looks up who holds an
address and pings it, as the windows of varnholt do, for scripts.
)";

constexpr auto ExitStatuses = R"(
Exit status: 0 done (check: a proxy passed; judge, serve: ended by a stop signal, their normal
end); 1 the answer is no (no proxy rows, no proxy passed the check, a dead address, a whois answer
cut short, no proxy working to serve through); 2 bad usage or a list file that cannot be read;
3 a site, server, list address or judge that cannot be reached or is no judge, or an address
judge or serve cannot listen on; 4 the list or a page could not be stored; 5 stopped by a limit
of this machine (open files, memory) that one proxy at a time still meets; 130 stopped by
Ctrl+C, 143 by SIGTERM, 129 by SIGHUP.
)";

QString ProgramName()
{
    return QString::fromLatin1(Console::ProgramName);
}

// The words of a synopsis, a bracketed group with its inner brackets as one.
QStringList SynopsisItems(const QString& synopsis)
{
    QStringList items{QString()};
    int depth = 0;
    for (const QChar c : synopsis) {
        depth += c == u'[' ? 1 : c == u']' ? -1 : 0;
        if (c == u' ' && depth == 0)
            items.append(QString());
        else
            items.last() += c;
    }
    items.removeAll(QString());
    return items;
}

} // namespace

CommandLine::CommandLine(std::vector<std::unique_ptr<CliCommand>> commands)
    : m_commands(std::move(commands))
{
}

// An option's bracketed group is never broken across lines.
QString CommandLine::usageLine(const CliCommand& command)
{
    const QString head = ProgramName() + u' ' + command.name();
    QString text = head;
    qsizetype lineStart = 0;
    for (const QString& item : SynopsisItems(command.synopsis())) {
        if (text.size() - lineStart + 1 + item.size() > LineWidth) {
            lineStart = text.size() + 1;
            text += u'\n' + QString(head.size(), u' ');
        }
        text += u' ' + item;
    }
    return text;
}

QString CommandLine::usage() const
{
    QString text;
    for (const std::unique_ptr<CliCommand>& command : m_commands)
        text +=
            (text.isEmpty() ? u"Usage: "_s : u"       "_s) + usageLine(*command).replace(u'\n', u"\n       "_s) + u'\n';
    return text + u"       "_s + ProgramName() + u" --help | --version\n"_s;
}

QString CommandLine::help() const
{
    QString text = usage() + QString::fromLatin1(Description);
    for (const std::unique_ptr<CliCommand>& command : m_commands)
        text += u'\n' + command->name().leftJustified(9) + u' ' + command->help();
    return text + QString::fromLatin1(ExitStatuses);
}

CliCommand* CommandLine::find(const QString& name) const
{
    for (const std::unique_ptr<CliCommand>& command : m_commands) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}

PrintedAnswer CommandLine::refusal(const QString& reason, const CliCommand* command) const
{
    const QString shown = command ? u"Usage: "_s + usageLine(*command).replace(u'\n', u"\n       "_s) + u'\n' : usage();
    return {ProgramName() + u": "_s + reason + u'\n' + shown, 2, true};
}

std::variant<CliCommand*, PrintedAnswer> CommandLine::read(const QStringList& arguments)
{
    const QString first = arguments.value(1);
    if (first.isEmpty())
        return refusal(u"no command given"_s);
    if (first == u"--help"_s || first == u"-h"_s)
        return PrintedAnswer{help()};
    if (first == u"--version"_s)
        return PrintedAnswer{ProgramName() + u' ' + QCoreApplication::applicationVersion() + u'\n'};
    CliCommand* command = find(first);
    if (!command)
        return refusal(u"unknown command \"%1\""_s.arg(first));
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    parser.addOptions(command->options() << help);
    if (!parser.parse(QStringList{arguments.value(0)} + arguments.mid(2)))
        return refusal(parser.errorText(), command);
    if (parser.isSet(help))
        return PrintedAnswer{u"Usage: "_s + usageLine(*command).replace(u'\n', u"\n       "_s) + u"\n\n"_s
                             + command->name() + u"  "_s + command->help()};
    if (const std::optional<QString> refused = command->read(parser))
        return refusal(*refused, command);
    return command;
}
