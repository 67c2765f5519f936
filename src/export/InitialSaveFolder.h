#pragma once

#include <QString>

// The folder the save dialog opens in: the program folder when the user may write there,
// otherwise the user's home folder. A folder the system installs programs into is never
// offered, even to a user who may write there.
QString InitialSaveFolder(const QString& programFolder);
