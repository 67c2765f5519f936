#pragma once

#include "CliArguments.h"
#include "CliHarvestControls.h"
#include "ConsolePrompter.h"
#include "HarvestRun.h"
#include "ProgressReporter.h"
#include "ProxyTable.h"
#include "WatchedPageFetcher.h"

#include <QUrl>

class EventYielder;

// `varnholt-cli harvest`: the window's harvest run on the command line, and the list the save
// window would write from it.
class HarvestCommand final
{
    Q_DISABLE_COPY_MOVE(HarvestCommand)

public:
    HarvestCommand(HarvestRequest request, Console& console, PageFetcher& fetcher, EventYielder& yielder);

    // Harvests, writes the list and returns the exit status.
    int run();

    // Ctrl+C. The first asks the run to stop, which it does at the next page boundary, so the
    // page in progress is kept; the second stops it where it stands.
    void interrupt();

private:
    struct Outcome
    {
        bool abandoned = false;
        bool stopped = false;
        std::optional<HarvestRun::Failure> failure;
    };

    // The page the run is on, as the fetches it asks for tell.
    struct Page
    {
        int number = 0;
        QUrl address;
        int rowsBefore = 0;
    };

    std::optional<Outcome> harvest();
    int verdictStatus(const Outcome& outcome);
    int writeList();
    void onPageFetch(const QUrl& address);
    void onPageDone();

    HarvestRequest m_request;
    Console& m_console;
    ProgressReporter m_reporter;
    CliHarvestControls m_controls;
    WatchedPageFetcher m_fetcher;
    EventYielder& m_yielder;
    ConsolePrompter m_prompter;
    ProxyTable m_table;
    Page m_page;
    HarvestRun* m_run = nullptr; // while a run is under way
    bool m_abandoned = false;
};
