#include "TextFiles.h"

#include <QDir>

#include <fnmatch.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype ReadChunk = qsizetype{256} * 1024;
constexpr qsizetype WriteChunk = qsizetype{64} * 1024;

// The first CR or LF in [from, end), or end: a vectorised search for each, the one for CR only
// as far as the LF, so both cost in proportion to the line.
const char* LineEnd(const char* from, const char* end)
{
    const auto* lf = static_cast<const char*>(std::memchr(from, '\n', end - from));
    const char* stop = lf != nullptr ? lf : end;
    const auto* cr = static_cast<const char*>(std::memchr(from, '\r', stop - from));
    return cr != nullptr ? cr : stop;
}

} // namespace

FileStatus DeleteFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return FileStatus::NotFound;
    return file.remove() ? FileStatus::Ok : FileStatus::Failed;
}

// The shell's wildcard match, not Qt's name filter: that compiles a regular expression on every
// call, which cost more than the rest of a page's sweep.
FileStatus DeleteMatching(const QString& folder, const QString& pattern)
{
    const QDir dir(folder);
    const QByteArray wildcard = QFile::encodeName(pattern);
    bool matched = false;
    bool allRemoved = true;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort)) {
        if (fnmatch(wildcard.constData(), QFile::encodeName(name).constData(), 0) != 0)
            continue;
        matched = true;
        allRemoved = QFile::remove(dir.filePath(name)) && allRemoved;
    }
    if (!matched)
        return FileStatus::NotFound;
    return allRemoved ? FileStatus::Ok : FileStatus::Failed;
}

bool WriteAll(QIODevice& device, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = device.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

FileStatus OpenFile(QFile& file, QIODevice::OpenMode mode)
{
    if (file.open(mode))
        return FileStatus::Ok;
    return file.exists() ? FileStatus::Failed : FileStatus::NotFound;
}

LineReader::LineReader(QIODevice& device)
    : m_device(device)
{
}

bool LineReader::fill()
{
    if (m_position > 0) {
        m_buffer.remove(0, m_position);
        m_position = 0;
    }
    // No more room than the device holds: a short page costs no large buffer.
    const qint64 chunk = std::clamp<qint64>(m_device.bytesAvailable(), 1, ReadChunk);
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + chunk);
    const qint64 got = m_device.read(m_buffer.data() + kept, chunk);
    m_buffer.resize(kept + std::max<qint64>(got, 0));
    if (got < 0)
        m_failed = true;
    return got > 0;
}

bool LineReader::atEnd()
{
    if (m_pendingLineFeed) {
        if (m_position == m_buffer.size())
            fill();
        if (m_position < m_buffer.size() && m_buffer.at(m_position) == '\n')
            ++m_position;
        m_pendingLineFeed = false;
    }
    if (m_position < m_buffer.size())
        return false;
    return !fill();
}

QByteArrayView LineReader::readLine()
{
    qsizetype scanned = 0; // bytes after m_position already known to hold no line end
    for (;;) {
        const char* begin = m_buffer.constData();
        const char* end = begin + m_buffer.size();
        const char* found = LineEnd(begin + m_position + scanned, end);
        if (found != end) {
            const qsizetype lineStart = m_position;
            const qsizetype lineEnd = found - begin;
            m_position = lineEnd + 1;
            // The LF of a CR LF may still be unread; atEnd() swallows it before the next line.
            m_pendingLineFeed = *found == '\r';
            return QByteArrayView(begin + lineStart, lineEnd - lineStart);
        }
        scanned = m_buffer.size() - m_position;
        if (!fill()) {
            const qsizetype lineStart = m_position;
            m_position = m_buffer.size();
            return QByteArrayView(m_buffer.constData() + lineStart, m_position - lineStart);
        }
    }
}

LineWriter::LineWriter(QIODevice& device)
    : m_device(device)
{
}

bool LineWriter::writeLine(QByteArrayView line)
{
    m_pending += line;
    m_pending += "\r\n";
    if (m_pending.size() >= WriteChunk)
        writePending();
    return m_ok;
}

// A write call a line cost more than the line; lines go to the device a chunk at a time.
void LineWriter::writePending()
{
    m_ok = m_ok && WriteAll(m_device, m_pending);
    m_pending.resize(0);
}

bool LineWriter::flush()
{
    writePending();
    return m_ok;
}
