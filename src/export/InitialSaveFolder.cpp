#include "InitialSaveFolder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

// Root may write everywhere, so writability alone does not tell these from a user's folder.
bool IsSystemFolder(const QString& canonicalPath)
{
    static const std::array systemRoots{u"/usr"_s, u"/bin"_s, u"/sbin"_s, u"/lib"_s, u"/opt"_s, u"/snap"_s};
    return std::any_of(systemRoots.begin(), systemRoots.end(), [&canonicalPath](const QString& root) {
        return canonicalPath == root || canonicalPath.startsWith(root + u'/');
    });
}

} // namespace

QString InitialSaveFolder(const QString& programFolder)
{
    const QFileInfo folder(programFolder);
    const QString canonicalPath = folder.canonicalFilePath(); // empty when the folder does not exist
    if (!canonicalPath.isEmpty() && folder.isDir() && folder.isWritable() && !IsSystemFolder(canonicalPath))
        return programFolder;
    return QDir::homePath();
}
