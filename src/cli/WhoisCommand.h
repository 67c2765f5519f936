#pragma once

#include "CliArguments.h"
#include "WhoisSession.h"

#include <QEventLoop>

class Console;

// `varnholt-cli whois`: the whois window's lookup, its transcript streamed to standard output
// as it arrives, shown as the window shows it.
class WhoisCommand final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhoisCommand)

public:
    WhoisCommand(WhoisRequest request, Console& console, WhoisLimits limits = {});

    // Looks up and returns the exit status once the lookup has ended.
    int run();

    // Ctrl+C: the lookup ends where it stands.
    void interrupt();

private:
    void onAppended(const QString& piece);
    int endingStatus();
    QString serverName() const;

    WhoisRequest m_request;
    Console& m_console;
    WhoisLimits m_limits;
    WhoisSession m_session;
    QEventLoop m_loop;
};
