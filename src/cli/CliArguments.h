#pragma once

#include "HostPort.h"
#include "ListFormat.h"
#include "Judge.h"
#include "ProbeResult.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

struct HarvestRequest
{
    QString pageCount; // as typed: the run applies its own rules to it
    HostPort site;
    ListFormat format;
    std::optional<QString> outputFile; // none: standard output
    bool quiet = false;
};

struct CheckRequest
{
    QStringList files; // "-" is standard input, and so is no file at all
    ProbeSettings probe;
    std::optional<Judge> judge;
    ProbeLevel required = ProbeLevel::Speaks;
    int jobs = 64;
    bool report = false;
    bool quiet = false;
};

struct WhoisRequest
{
    QString address;
    HostPort server;
};

struct PingRequest
{
    QString address;
};

// What the program prints at once instead of running a command: help, its version, or the
// reason a command line was refused.
struct PrintedAnswer
{
    QString text;
    int exitStatus = 0;
    bool toStandardError = false;
};

using CliRequest = std::variant<PrintedAnswer, HarvestRequest, CheckRequest, WhoisRequest, PingRequest>;

// The program's arguments, its own name first.
CliRequest ParseCliArguments(const QStringList& arguments);
