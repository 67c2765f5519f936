#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// Where the work folders are made: the session's runtime folder, $XDG_RUNTIME_DIR, when it names
// a folder of this user's; else the temporary folder. The runtime folder is private to the user,
// and the C library keeps it for a program that starts in secure mode, as one installed with a
// file capability does, where it drops $TMPDIR.
QString WorkFolderRoot();

// The program's private folder for its temporary page and cell files: made at start, readable
// by the user alone, removed with everything in it when the program ends, by a quit or by a
// stop signal. The sweep of "*.tmp" files after each page is confined to it, so no file of the
// user's is ever touched. Its name, varnholt-<pid>-XXXXXX, tells which process made it, so the
// folders of a run that crashed or was killed are removed the next time one is made.
class WorkFolder final
{
public:
    explicit WorkFolder(const QString& tempRoot = WorkFolderRoot());

    bool isValid() const { return m_dir.isValid(); }
    QString errorString() const { return m_dir.errorString(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Removes the work folders in tempRoot left by processes of this user that no longer exist. A
// folder is removed only when all of this holds: its name follows the pattern exactly, it is a
// directory (not a link to one) owned by this user with mode 0700, the process its name tells
// is gone, and it holds regular files only. Anything else is left alone.
void RemoveStaleWorkFolders(const QString& tempRoot);
