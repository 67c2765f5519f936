#pragma once

#include <QRegularExpression>
#include <QString>

// The page rules read plainly, on Latin-1 text where every byte is one character: a marker line
// is the row marker with only spaces around it; a line's cell is what lies between its first and
// second "<td>" (or the end), every "</td>" taken out and the spaces around it trimmed.
inline bool IsMarkerText(const QString& line)
{
    static const QRegularExpression marker(
        QRegularExpression::anchoredPattern(QStringLiteral(" *<tr align=\"center\"> *")));
    return marker.match(line).hasMatch();
}

inline QString CellOf(const QString& line)
{
    static const QRegularExpression spacesAround(QStringLiteral("\\A +| +\\z"));
    return line.section(QStringLiteral("<td>"), 1, 1).remove(QStringLiteral("</td>")).remove(spacesAround);
}
