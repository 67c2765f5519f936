#pragma once

#include "CheckProgress.h"
#include "CliCommand.h"
#include "ListInput.h"
#include "ProbeOptions.h"
#include "ProxyChecker.h"

#include <QEventLoop>

#include <map>

class Console;
class PageFetcher;

// What a check keeps and how it tells it.
struct CheckRequest
{
    QStringList lists; // files, "-" for standard input (also no list at all), http(s) addresses
    ProbeLevel required = ProbeLevel::Speaks;
    std::optional<Anonymity> anonymity; // at least this anonymous, as an echoing judge grades it
    bool report = false;
    bool quiet = false;
};

// `varnholt-cli check`: reads the lists, checks every proxy and prints the lines of those that
// pass, in list order and as they were read, or a report line for each.
class CheckCommand final : public QObject, public CliCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckCommand)

public:
    CheckCommand(Console& console, PageFetcher& fetcher);

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override;
    std::optional<QString> read(const QCommandLineParser& parsed) override;

    // Reads the lists: a stop signal ends a read that waits on a terminal the usual way.
    std::optional<int> prepare() override;
    // Checks the proxies read and returns the exit status.
    int run() override;
    // Ctrl+C: the check stops where it stands and the results so far are printed.
    void interrupt() override;

    const CheckRequest& request() const { return m_request; }
    const ProbeOptions& probing() const { return m_probing; }

private:
    void onJudgeAnswered();
    void onChecked(qsizetype index, const ProbeResult& result);
    void onFinished(CheckEnding ending, const QString& reason);
    bool passes(const ProbeResult& result) const;
    void print(const ProxyRecord& proxy, const ProbeResult& result);
    void flush();

    const QCommandLineOption m_expect{QStringLiteral("expect"), {}, QStringLiteral("TEXT")};
    const QCommandLineOption m_require{QStringLiteral("require"), {}, QStringLiteral("LEVEL")};
    const QCommandLineOption m_anonymity{QStringLiteral("anonymity"), {}, QStringLiteral("LEVEL")};
    const QCommandLineOption m_report{QStringLiteral("report")};
    const QCommandLineOption m_quiet{{QStringLiteral("q"), QStringLiteral("quiet")}};
    ProbeOptions m_probing;
    CheckRequest m_request;
    Console& m_console;
    ListInput m_input;
    std::optional<CheckProgress> m_progress; // once the checking itself starts
    QEventLoop m_loop;
    ProxyChecker* m_checker = nullptr; // while a check is under way
    std::map<qsizetype, ProbeResult> m_waiting; // results that came before an earlier one
    qsizetype m_nextToPrint = 0;
    int m_status = 0;
    QByteArray m_output; // lines not written yet
    bool m_flushQueued = false;
    qsizetype m_checked = 0;
    qsizetype m_passing = 0;
};
