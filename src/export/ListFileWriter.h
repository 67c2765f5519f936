#pragma once

#include "ListFormat.h"

#include <QByteArray>
#include <QString>

class ProxyTable;

struct SaveResult
{
    bool ok = false;
    QString error; // names the file and the system's reason, ready to show
};

// Writes the proxy table to a list file: one line per row in table order, every line ended
// by CR LF, UTF-8 without a byte-order mark, no header and no quoting.
class ListFileWriter final
{
public:
    explicit ListFileWriter(ListFormat format);

    QByteArray text(const ProxyTable& table) const;

    // Appends the lines to the file, creating it when it is missing. On failure the file keeps
    // exactly the bytes it held before.
    SaveResult append(const QString& path, const ProxyTable& table) const;

private:
    void appendLine(QString& lines, int row, const ProxyTable& table) const;

    ListFormat m_format;
};
