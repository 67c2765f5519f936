#include "WorkFolder.h"

#include <QDir>

WorkFolder::WorkFolder()
    : m_dir(QDir::tempPath() + QStringLiteral("/varnholt-XXXXXX")) // QTemporaryDir makes it with mode 0700
{
}
