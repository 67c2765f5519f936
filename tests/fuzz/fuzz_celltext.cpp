// One page line through CellText and IsRowMarker, each checked against a plain reading of its rule.

#include "FuzzCheck.h"
#include "PageParser.h"

#include <QRegularExpression>

#include <cstdint>

namespace {

// The page rules read plainly, on Latin-1 text where every byte is one character: a marker line
// is the row marker with only spaces around it; a line's cell is what lies between its first and
// second "<td>" (or the end), every "</td>" taken out and the spaces around it trimmed.
bool IsMarkerText(const QString& line)
{
    static const QRegularExpression marker(
        QRegularExpression::anchoredPattern(QStringLiteral(" *<tr align=\"center\"> *")));
    return marker.match(line).hasMatch();
}

QString CellOf(const QString& line)
{
    static const QRegularExpression spacesAround(QStringLiteral("\\A +| +\\z"));
    return line.section(QStringLiteral("<td>"), 1, 1).remove(QStringLiteral("</td>")).remove(spacesAround);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView line(data, static_cast<qsizetype>(size));
    FUZZ_CHECK(CellText(line) == CellOf(QString::fromLatin1(line)).toLatin1());
    FUZZ_CHECK(IsRowMarker(line) == IsMarkerText(QString::fromLatin1(line)));
    return 0;
}
