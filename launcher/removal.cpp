#include "removal.h"

#include "discovery.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/stat.h>
#endif

static bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

// Whether two names reach the same directory entry.
static bool isSameFile(const QString &name, const QString &otherName)
{
#ifdef Q_OS_UNIX
    // lstat, so that a link is itself and not its target; a case-folding file
    // system gives both spellings the same inode.
    struct stat nameStatus;
    struct stat otherStatus;
    return ::lstat(QFile::encodeName(name).constData(), &nameStatus) == 0
        && ::lstat(QFile::encodeName(otherName).constData(), &otherStatus) == 0
        && nameStatus.st_dev == otherStatus.st_dev && nameStatus.st_ino == otherStatus.st_ino;
#else
    // QFileInfo compares canonical paths, and on Windows it does so ignoring case.
    const QFileInfo info(name);
    return info.exists() && info == QFileInfo(otherName);
#endif
}

// Whether a name may reach a directory entry. Asking Qt to remove a name that
// reaches none builds a file object and an error text for nothing, which in a
// folder of many superseded versions is much of the launcher's time.
static bool mayExist(const QString &name)
{
#ifdef Q_OS_UNIX
    struct stat status;
    return ::lstat(QFile::encodeName(name).constData(), &status) == 0 || errno != ENOENT;
#else
    Q_UNUSED(name);
    return true;
#endif
}

static bool mayNameSameFile(const QString &candidate, const QString &keptName)
{
    // ASCII names that differ in more than letter case never reach the same
    // file; other names may (case folding and normalisation rules differ
    // between file systems), so only those are asked of the file system.
    return candidate.compare(keptName, Qt::CaseInsensitive) == 0 || !isAscii(candidate) || !isAscii(keptName);
}

void removeSuperseded(const QStringList &candidates, const QString &chosenVersion)
{
    const QString keptName = releaseFileName(chosenVersion);
    // With no release to start, deleting the others would leave the user with none.
    if (!QFileInfo(keptName).isFile())
        return;
    for (const QString &candidate : candidates) {
        if (candidate.compare(keptName, Qt::CaseSensitive) == 0)
            continue;
        if (mayNameSameFile(candidate, keptName) && isSameFile(candidate, keptName))
            continue;
        if (mayExist(candidate))
            QFile::remove(candidate);
    }
}
