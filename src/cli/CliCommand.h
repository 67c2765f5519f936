#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;

// One verb of varnholt-cli: its options, its help, and how it runs. The command line is a table
// of these (VarnholtCommands); the usage text and --help are made from it, and the man page's
// synopsis is checked against it.
class CliCommand
{
public:
    virtual ~CliCommand() = default;

    virtual QString name() const = 0; // "check"
    // What follows the name in the usage: "ADDRESS [--whois-server HOST[:PORT]]".
    virtual QString synopsis() const = 0;
    // What --help tells of the verb: a line of what it does, then its options, indented.
    virtual QString help() const = 0;
    virtual QList<QCommandLineOption> options() const = 0;

    // Takes the command line, parsed with options(); the reason it is refused, if it is.
    virtual std::optional<QString> read(const QCommandLineParser& parsed) = 0;
    // What must be done before stop signals are taken over: reading a list from a terminal that a
    // Ctrl+C must still end, say. An exit status ends the program there.
    virtual std::optional<int> prepare() { return std::nullopt; }
    // Runs and returns the exit status.
    virtual int run() = 0;
    // Whether Ctrl+C, SIGTERM and SIGHUP come to interrupt() while run() runs; otherwise they end
    // the program the usual way.
    virtual bool takesStopSignals() const { return true; }
    virtual void interrupt() = 0;
};
