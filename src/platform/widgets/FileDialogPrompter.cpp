#include "FileDialogPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

std::optional<QString> FileDialogPrompter::askSaveFileName(const SaveFileRequest& request)
{
    const QFileDialog::Options options =
        request.existing == SaveFileRequest::Appends ? QFileDialog::DontConfirmOverwrite : QFileDialog::Options();
    const QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeModalWidget(), request.title,
                                     QDir(request.folder).filePath(request.fileName), request.filter, nullptr, options);
    if (chosen.isEmpty())
        return std::nullopt; // dismissed
    return chosen;
}
