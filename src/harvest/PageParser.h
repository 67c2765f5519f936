#pragma once

#include "HarvestEvents.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QIODevice;

class EventYielder;
class ProxyTable;

// The text of the first table cell on a page line: what follows the first "<td>" up to the
// next "<td>" or the end of the line, with every "</td>" taken out and the spaces around it
// trimmed. Empty when the line holds no "<td>".
QByteArray CellText(QByteArrayView line);

// Whether the line, spaces around it aside, is exactly the marker that opens a proxy row.
bool IsRowMarker(QByteArrayView line);

// Turns one downloaded page, held in the page file, into rows of the proxy table. It works in
// two passes through files and never holds the page in memory: the cells of the page's proxy
// rows go to the cell file, which is then read back and cut into entries of five cells. It
// tells how far it has come and every entry it appends.
class PageParser final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageParser)

public:
    static constexpr auto PageFileName = "temp.tmp";
    static constexpr auto CellFileName = "temp2.tmp";

    PageParser(ProxyTable& table, EventYielder& yielder, QString workFolder, QObject* parent = nullptr);

    // Parses the page file, appends its rows and deletes every "*.tmp" file of the work
    // folder. A missing page file ends the parse at the start of its first pass, keeping the
    // progress maximum; any other failure ends it quietly, keeping the rows appended so far.
    void ParsePage();
    // The same two passes over other devices: the page open for reading, and one that is not
    // open yet for the cells, which the parse opens anew and empty. False when the parse ended
    // early (a read or write failed, or the program is ending).
    bool ParsePage(QIODevice& page, QIODevice& cells);

    // Counts the lines of a text device from its start, letting window events run as it goes,
    // and leaves it at its start again. Nothing when it cannot be read to its end.
    std::optional<int> CountLines(QIODevice& device);

    // The program is ending: the parse stops at its next chance to look, leaving its files.
    void abandon() { m_abandoned = true; }

    QString pageFilePath() const;
    QString cellFilePath() const;

Q_SIGNALS:
    // A stage is about to count the lines it will read: the value is 0 again, while the caption
    // and the maximum stay as they were until progressed() tells the stage.
    void stageBeginning();
    // The value rises by one per line read, up to the maximum: the lines of the file the stage
    // reads. A stage begins with the value 0; Complete ends the page.
    void progressed(ParseStage stage, int value, int maximum);
    void entryAppended(int rowCount);

private:
    bool beginStage(ParseStage stage, QIODevice& device);
    bool extractCells(QIODevice& page, QIODevice& cells);
    bool buildEntries(QIODevice& cells);
    bool yieldAndContinue();

    ProxyTable& m_table;
    EventYielder& m_yielder;
    QString m_workFolder;
    int m_maximum = 0; // kept when the page file is missing, as a progress bar keeps it
    bool m_abandoned = false;
};
