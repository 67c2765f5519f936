#pragma once

#include <QMetaType>
#include <QString>

// Where the parse of a page stands; each stage has its caption on the front ends.
enum class ParseStage {
    Parsing, // the page's lines are read and their cells written to the cell file
    Extracting, // the cell file's lines are gathered into entries of five
    Complete, // the page is done and its temporary files are gone
};

// How a harvest run ended.
enum class HarvestEnding {
    Completed, // every page asked for was fetched and parsed
    Stopped, // a cancel was honoured at a page boundary
    FetchFailed, // a page could not be fetched
    Failed, // a page could not be stored, or the page count could no longer be read
    Abandoned, // the program is ending: the run stopped where it stood
};

// The front ends' words for the run's states, the same in the window and on the command line.
QString PageCaption(int number, const QString& pageCountText);
QString StageCaption(ParseStage stage);
// The verdict both bars show; nothing for a run that failed or was abandoned, which keeps
// the captions it had.
QString EndingCaption(HarvestEnding ending);

// The page count a run starts with: below 1, or no number at all, is raised to "1"; above 20
// is lowered to "20"; anything in between stays as typed, fractions included.
QString ClampedPageCount(const QString& typed);

Q_DECLARE_METATYPE(ParseStage)
Q_DECLARE_METATYPE(HarvestEnding)
