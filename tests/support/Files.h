#pragma once

#include <QFile>

// Writes the whole file anew; false when it could not.
inline bool WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
