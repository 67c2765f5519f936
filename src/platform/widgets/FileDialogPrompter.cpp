#include "FileDialogPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

std::optional<QString> FileDialogPrompter::askSaveFileName(const SaveFileRequest& request)
{
    const QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeModalWidget(), request.title,
                                     QDir(request.folder).filePath(request.fileName), request.filter);
    if (chosen.isEmpty())
        return std::nullopt; // dismissed
    return chosen;
}
