// One page line through CellText and IsRowMarker, each checked against a plain reading of its
// rule with other means: the text after the first "<td>" up to the next, every "</td>" taken
// out in one pass, spaces trimmed; a marker line is the marker with only spaces around it.

#include "FuzzCheck.h"
#include "PageParser.h"

#include <QString>
#include <QStringList>

#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

// Latin-1 maps every byte to one character and back, so text operations stand for byte ones.
QString TrimmedOfSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QByteArray ExpectedCellText(const QString& line)
{
    const QStringList pieces = line.split(u"<td>"_s);
    if (pieces.size() < 2)
        return {};
    return TrimmedOfSpaces(QString(pieces[1]).remove(u"</td>"_s)).toLatin1();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView line(data, static_cast<qsizetype>(size));
    const QString text = QString::fromLatin1(line);

    const QByteArray cell = CellText(line);
    FUZZ_CHECK(cell == ExpectedCellText(text));
    FUZZ_CHECK(cell.size() <= line.size());
    FUZZ_CHECK(!cell.startsWith(' ') && !cell.endsWith(' '));

    FUZZ_CHECK(IsRowMarker(line) == (TrimmedOfSpaces(text) == u"<tr align=\"center\">"_s));
    return 0;
}
