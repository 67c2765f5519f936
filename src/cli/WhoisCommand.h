#pragma once

#include "CliCommand.h"
#include "HostPort.h"
#include "WhoisSession.h"

#include <QEventLoop>

class Console;

struct WhoisRequest
{
    QString address;
    HostPort server;
};

// `varnholt-cli whois`: the whois window's lookup, its transcript streamed to standard output
// as it arrives, shown as the window shows it.
class WhoisCommand final : public QObject, public CliCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhoisCommand)

public:
    explicit WhoisCommand(Console& console, WhoisLimits limits = {});

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override;
    std::optional<QString> read(const QCommandLineParser& parsed) override;

    // Looks up and returns the exit status once the lookup has ended.
    int run() override;
    // Ctrl+C: the lookup ends where it stands.
    void interrupt() override;

    const WhoisRequest& request() const { return m_request; }

private:
    void onAppended(const QString& piece);
    int endingStatus();
    QString serverName() const;

    const QCommandLineOption m_whoisServer{QStringLiteral("whois-server"), {}, QStringLiteral("HOST[:PORT]")};
    WhoisRequest m_request;
    Console& m_console;
    WhoisLimits m_limits;
    std::optional<WhoisSession> m_session; // once the command line names the server
    QEventLoop m_loop;
};
