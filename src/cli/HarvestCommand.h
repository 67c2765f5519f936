#pragma once

#include "CliCommand.h"
#include "HarvestEvents.h"
#include "HostPort.h"
#include "ListFormat.h"
#include "ProgressReporter.h"
#include "ProxyTable.h"

#include <QUrl>

class Console;
class EventYielder;
class HarvestRun;
class PageFetcher;

struct HarvestRequest
{
    QString pageCount = QStringLiteral("20"); // as typed: the run applies its own rules to it
    HostPort site;
    ListFormat format;
    std::optional<QString> outputFile; // none: standard output
    bool quiet = false;
};

// `varnholt-cli harvest`: the window's harvest run on the command line, and the list the save
// window would write from it.
class HarvestCommand final : public CliCommand
{
    Q_DISABLE_COPY_MOVE(HarvestCommand)

public:
    HarvestCommand(Console& console, PageFetcher& fetcher, EventYielder& yielder);

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override;
    std::optional<QString> read(const QCommandLineParser& parsed) override;

    // Harvests, writes the list and returns the exit status.
    int run() override;
    // Ctrl+C. The first asks the run to stop, which it does at the next page boundary, so the
    // page in progress is kept; the second stops it where it stands.
    void interrupt() override;

    const HarvestRequest& request() const { return m_request; }

private:
    // The page the run is on.
    struct Page
    {
        int number = 0;
        QUrl address;
        int rowsBefore = 0;
    };

    std::optional<HarvestEnding> harvest();
    void listen(HarvestRun& run);
    int endingStatus(HarvestEnding ending);
    int writeList();
    void onPageEnded();

    const QCommandLineOption m_pages{QStringLiteral("pages"), {}, QStringLiteral("N")};
    const QCommandLineOption m_site{QStringLiteral("site"), {}, QStringLiteral("HOST[:PORT]")};
    const QCommandLineOption m_format{QStringLiteral("format"), {}, QStringLiteral("FORMAT")};
    const QCommandLineOption m_separator{QStringLiteral("separator"), {}, QStringLiteral("TEXT")};
    const QCommandLineOption m_output{{QStringLiteral("o"), QStringLiteral("output")}, {}, QStringLiteral("FILE")};
    const QCommandLineOption m_quiet{{QStringLiteral("q"), QStringLiteral("quiet")}};
    HarvestRequest m_request;
    Console& m_console;
    std::optional<ProgressReporter> m_reporter; // once the command line tells whether to be quiet
    PageFetcher& m_fetcher;
    EventYielder& m_yielder;
    ProxyTable m_table;
    Page m_page;
    QString m_failure; // why the run failed, when it did
    HarvestRun* m_run = nullptr; // while a run is under way
};
