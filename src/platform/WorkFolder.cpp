#include "WorkFolder.h"

#include "UniqueFd.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <limits>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr auto NamePrefix = "varnholt-";

struct DirClose
{
    void operator()(DIR* dir) const { closedir(dir); }
};

bool ProcessIsGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The names in the folder, or nothing when one of its entries is not a regular file.
std::optional<QList<QByteArray>> RegularFilesOnly(int folder)
{
    const int listed = ::dup(folder);
    if (listed < 0)
        return std::nullopt;
    const std::unique_ptr<DIR, DirClose> dir(::fdopendir(listed));
    if (!dir) {
        ::close(listed);
        return std::nullopt;
    }
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat status = {};
        if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
            return std::nullopt;
        names.append(name);
    }
    return names;
}

void RemoveIfStale(int root, const QByteArray& name, pid_t maker)
{
    const UniqueFd folder(::openat(root, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status = {};
    if (!folder.isValid() || ::fstat(folder.get(), &status) != 0)
        return;
    if (status.st_uid != ::geteuid() || (status.st_mode & 07777) != 0700 || !ProcessIsGone(maker))
        return;
    const std::optional<QList<QByteArray>> files = RegularFilesOnly(folder.get());
    if (!files)
        return;
    for (const QByteArray& file : *files)
        ::unlinkat(folder.get(), file.constData(), 0);
    ::unlinkat(root, name.constData(), AT_REMOVEDIR);
}

} // namespace

QString WorkFolderRoot()
{
    const QFileInfo runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (runtime.isAbsolute() && runtime.isDir() && runtime.ownerId() == ::geteuid())
        return runtime.filePath();
    return QDir::tempPath();
}

WorkFolder::WorkFolder(const QString& tempRoot)
    // QTemporaryDir makes it with mode 0700 and fills in the Xs.
    : m_dir(tempRoot + u'/' + QLatin1StringView(NamePrefix) + QString::number(QCoreApplication::applicationPid())
            + u"-XXXXXX"_s)
{
    RemoveStaleWorkFolders(tempRoot);
}

void RemoveStaleWorkFolders(const QString& tempRoot)
{
    static const QRegularExpression pattern(u"\\A"_s + QLatin1StringView(NamePrefix)
                                            + u"([1-9][0-9]{0,9})-[A-Za-z0-9]{6}\\z"_s);
    const UniqueFd root(::open(QFile::encodeName(tempRoot).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.isValid())
        return;
    const QStringList names = QDir(tempRoot).entryList({QLatin1StringView(NamePrefix) + u'*'},
                                                       QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        bool isNumber = false;
        const qint64 maker = match.hasMatch() ? match.captured(1).toLongLong(&isNumber) : 0;
        if (isNumber && maker <= std::numeric_limits<pid_t>::max())
            RemoveIfStale(root.get(), QFile::encodeName(name), pid_t(maker));
    }
}
