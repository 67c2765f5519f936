#pragma once

#include <QString>
#include <QTemporaryDir>

// The program's private folder for its temporary page and cell files: made at start, readable
// by the user alone, removed with everything in it when the program ends. The sweep of "*.tmp"
// files after each page is confined to it, so no file of the user's is ever touched.
class WorkFolder final
{
public:
    WorkFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString errorString() const { return m_dir.errorString(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
