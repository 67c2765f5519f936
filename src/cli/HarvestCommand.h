#pragma once

#include "CliArguments.h"
#include "HarvestEvents.h"
#include "ProgressReporter.h"
#include "ProxyTable.h"

#include <QUrl>

class EventYielder;
class HarvestRun;
class PageFetcher;

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

    HarvestRequest m_request;
    Console& m_console;
    ProgressReporter m_reporter;
    PageFetcher& m_fetcher;
    EventYielder& m_yielder;
    ProxyTable m_table;
    Page m_page;
    QString m_failure; // why the run failed, when it did
    HarvestRun* m_run = nullptr; // while a run is under way
};
