#pragma once

#include "CliCommand.h"

class Console;
class IcmpLibrary;
class SocketLibrary;

// `varnholt-cli ping`: the main window's ping of one address. The verdict the window shows in
// a message box is printed on standard output, one line for each of its lines; anything the
// ping had to say before it (the system allows no ICMP socket, the socket library failed)
// goes to standard error. Alive is 0, dead is 1.
class PingReport final : public CliCommand
{
public:
    PingReport(Console& console, IcmpLibrary& icmp, SocketLibrary& sockets);

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override { return {}; }
    std::optional<QString> read(const QCommandLineParser& parsed) override;
    int run() override;
    // The echo blocks for half a second at most: a stop signal ends the program the usual way.
    bool takesStopSignals() const override { return false; }
    void interrupt() override {}

private:
    Console& m_console;
    IcmpLibrary& m_icmp;
    SocketLibrary& m_sockets;
    QString m_address;
};
