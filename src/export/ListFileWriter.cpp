#include "ListFileWriter.h"

#include "ProxyTable.h"
#include "TextFiles.h"

#include <QDir>
#include <QFile>
#include <QStringBuilder>

using namespace Qt::StringLiterals;

namespace {

SaveResult Failure(const QString& path, const QString& reason)
{
    return {false, u"The list could not be saved to \"%1\": %2"_s.arg(QDir::toNativeSeparators(path), reason)};
}

} // namespace

ListFileWriter::ListFileWriter(ListFormat format)
    : m_format(std::move(format))
{
}

QByteArray ListFileWriter::text(const ProxyTable& table) const
{
    QString lines;
    const int rows = table.count();
    for (int row = 0; row < rows; ++row)
        appendLine(lines, row, table);
    return lines.toUtf8();
}

void ListFileWriter::appendLine(QString& lines, int row, const ProxyTable& table) const
{
    const ProxyEntry& entry = table.entry(row);
    if (m_format.layout == ListFormat::Layout::AllData)
        lines += entry.ipAddress % u'\t' % entry.port % u'\t' % entry.type % u'\t' % entry.country % u'\t'
            % entry.lastTest % u"\r\n";
    else
        lines += entry.ipAddress % m_format.separator % entry.port % u"\r\n";
}

SaveResult ListFileWriter::append(const QString& path, const ProxyTable& table) const
{
    const QByteArray bytes = text(table);
    // Unbuffered: after a failed write no bytes wait in Qt's buffer, which the resize below
    // would try to flush first and fail on again.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return Failure(path, file.errorString());
    const qint64 earlierSize = file.size();
    if (!WriteAll(file, bytes)) {
        const QString reason = file.errorString();
        file.resize(earlierSize); // a half-written list never stays behind the earlier content
        return Failure(path, reason);
    }
    return {true, {}};
}
