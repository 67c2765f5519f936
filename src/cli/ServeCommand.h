#pragma once

#include "CheckProgress.h"
#include "CliCommand.h"
#include "ListInput.h"
#include "ListenAddress.h"
#include "LocalProxyServer.h"
#include "PoolKeeper.h"
#include "ProbeEngine.h"
#include "ProbeOptions.h"

#include <QEventLoop>
#include <QTimer>

class Console;
class PageFetcher;

// `varnholt-cli serve`: a local proxy that sends each connection through a working proxy of the
// lists, taken in turn. It listens first, checks the whole list through the judge (only the
// proxies that carry the judge's request go into the pool), prints the address it listens on,
// and serves until a stop signal, its normal end, checking the pool again now and then.
class ServeCommand final : public QObject, public CliCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServeCommand)

public:
    static constexpr int DefaultRecheckSeconds = 300;

    ServeCommand(Console& console, PageFetcher& fetcher);
    ~ServeCommand() override;

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override;
    std::optional<QString> read(const QCommandLineParser& parsed) override;
    // Listens, then reads the lists.
    std::optional<int> prepare() override;
    int run() override;
    void interrupt() override;

private:
    std::optional<QString> readListening(const QCommandLineParser& parsed);
    void onCheckEnded(CheckEnding ending, const QString& reason, qsizetype working);
    void onServing();
    void showStatus();
    void log(const RelayRecord& record);

    const QCommandLineOption m_listen{QStringLiteral("listen"), {}, QStringLiteral("HOST:PORT")};
    const QCommandLineOption m_recheck{QStringLiteral("recheck"), {}, QStringLiteral("SECONDS")};
    const QCommandLineOption m_maxClients{QStringLiteral("max-clients"), {}, QStringLiteral("N")};
    const QCommandLineOption m_allow{QStringLiteral("allow"), {}, QStringLiteral("CIDR")};
    const QCommandLineOption m_verbose{{QStringLiteral("v"), QStringLiteral("verbose")}};
    ProbeOptions m_probing;
    QStringList m_lists;
    ListenAddress m_address{QHostAddress(QHostAddress::LocalHost), 8888};
    QList<Subnet> m_allowed;
    ServeLimits m_limits;
    std::chrono::seconds m_recheckEvery{DefaultRecheckSeconds};
    bool m_verboseLog = false;

    Console& m_console;
    ListInput m_input;
    std::unique_ptr<ProbeEngine> m_engine; // the server's thread
    std::unique_ptr<LocalProxyServer> m_server;
    std::unique_ptr<PoolKeeper> m_keeper;
    std::optional<CheckProgress> m_progress; // of the first check
    bool m_serving = false;
    int m_status = 0;
    QTimer m_statusTimer;
    QEventLoop m_loop;
};
