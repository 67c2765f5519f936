#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

// What a file operation came to. A missing file is told apart from every other failure,
// because the harvest passes over the one and gives up on the other.
enum class FileStatus {
    Ok,
    NotFound,
    Failed,
};

// Deletes one file.
FileStatus DeleteFile(const QString& path);

// Deletes every file in the folder whose name matches the wildcard pattern ("*.tmp");
// NotFound when nothing matches.
FileStatus DeleteMatching(const QString& folder, const QString& pattern);

// Writes every byte, however many writes that takes: a single write may stop short (a pipe
// taking a long list in parts, a size limit reached half-way) without an error of its own,
// and writing the rest then fails with the system's reason. False when a write failed.
bool WriteAll(QIODevice& device, QByteArrayView bytes);

// Opens the file as asked; NotFound when it does not exist.
FileStatus OpenFile(QFile& file, QIODevice::OpenMode mode);

// Reads text line by line from a device open for reading, from where it stands. A line ends at
// CR LF, at a lone CR or at a lone LF; the line end is not part of the line, and a line end at
// the very end adds no empty line. Lines are handed out as bytes, however long they are.
class LineReader final
{
public:
    explicit LineReader(QIODevice& device);

    bool atEnd();
    // Valid until the next call; call only while atEnd() is false.
    QByteArrayView readLine();
    // A read error met by atEnd() or readLine(); the lines read until then were real.
    bool failed() const { return m_failed; }

private:
    bool fill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_pendingLineFeed = false;
    bool m_failed = false;
};

// Writes lines ended by CR LF to a device open for writing.
class LineWriter final
{
public:
    explicit LineWriter(QIODevice& device);

    // Lines may wait in memory until flush().
    bool writeLine(QByteArrayView line);
    // Writes what waits; false when anything written could not reach the device.
    bool flush();

private:
    void writePending();

    QIODevice& m_device;
    QByteArray m_pending;
    bool m_ok = true;
};
