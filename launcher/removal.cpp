#include "removal.h"

#include "discovery.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/stat.h>
#else
static bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}
#endif

// Whether removing `candidate` is worth asking for: not when the name reaches
// no directory entry at all, and never when it reaches the kept release's own.
static bool isWorthRemoving(const QString &candidate, const QString &keptName)
{
#ifdef Q_OS_UNIX
    // lstat, so that a link is itself and not its target. A name that reaches
    // nothing is passed over: asking Qt to remove it builds a file object and
    // an error text for nothing, much of the time in a folder of many versions.
    // A case-folding file system gives both spellings of a name one inode.
    struct stat candidateStatus;
    struct stat keptStatus;
    if (::lstat(QFile::encodeName(candidate).constData(), &candidateStatus) != 0)
        return errno != ENOENT;
    return ::lstat(QFile::encodeName(keptName).constData(), &keptStatus) != 0
        || candidateStatus.st_dev != keptStatus.st_dev || candidateStatus.st_ino != keptStatus.st_ino;
#else
    // ASCII names that differ in more than letter case never reach the same
    // file, so only the others pay for canonical paths, which QFileInfo
    // compares ignoring case on Windows.
    if (candidate.compare(keptName, Qt::CaseInsensitive) != 0 && isAscii(candidate) && isAscii(keptName))
        return true;
    const QFileInfo info(candidate);
    return !info.exists() || !(info == QFileInfo(keptName));
#endif
}

void removeSuperseded(const QStringList &candidates, const QString &chosenVersion)
{
    const QString keptName = releaseFileName(chosenVersion);
    // With no release to start, deleting the others would leave the user with none.
    if (!QFileInfo(keptName).isFile())
        return;
    for (const QString &candidate : candidates) {
        if (candidate.compare(keptName, Qt::CaseSensitive) != 0 && isWorthRemoving(candidate, keptName))
            QFile::remove(candidate);
    }
}
