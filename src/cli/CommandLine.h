#pragma once

#include "CliCommand.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <variant>
#include <vector>

// What the program prints at once instead of running a command: help, its version, or the
// reason a command line was refused.
struct PrintedAnswer
{
    QString text;
    int exitStatus = 0;
    bool toStandardError = false;
};

// The verbs of varnholt-cli and the reading of a command line: the verb comes first, then its
// own options and arguments. The usage text and --help are made from the verbs themselves.
class CommandLine final
{
public:
    explicit CommandLine(std::vector<std::unique_ptr<CliCommand>> commands);

    // The program's arguments, its own name first: the command, ready to run, or what to print.
    std::variant<CliCommand*, PrintedAnswer> read(const QStringList& arguments);

    const std::vector<std::unique_ptr<CliCommand>>& commands() const { return m_commands; }
    // "varnholt-cli NAME SYNOPSIS", wrapped as a terminal shows it.
    static QString usageLine(const CliCommand& command);
    QString usage() const;

private:
    CliCommand* find(const QString& name) const;
    PrintedAnswer refusal(const QString& reason, const CliCommand* command = nullptr) const;
    QString help() const;

    std::vector<std::unique_ptr<CliCommand>> m_commands;
};
