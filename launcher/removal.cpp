#include "removal.h"

#include "discovery.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/stat.h>
#endif

// Whether removing `candidate` is worth asking for: never when the name
// reaches the kept release's own file, be it through another spelling (a file
// system that ignores letter case) or through a link (the kept release may be
// a link to a superseded one, or a superseded name a link to the kept one).
static bool isWorthRemoving(const QString &candidate, const QFileInfo &kept)
{
#ifdef Q_OS_UNIX
    // A name that reaches nothing, not even a dangling link, is passed over:
    // asking Qt to remove it builds a file object and an error text for
    // nothing, much of the time in a folder of many superseded versions.
    const QByteArray candidatePath = QFile::encodeName(candidate);
    struct stat status;
    if (::lstat(candidatePath.constData(), &status) != 0)
        return errno != ENOENT;
    // The same file has the same device and inode, whichever name or link leads to it.
    struct stat keptStatus;
    return ::stat(candidatePath.constData(), &status) != 0
        || ::stat(QFile::encodeName(kept.filePath()).constData(), &keptStatus) != 0
        || status.st_dev != keptStatus.st_dev || status.st_ino != keptStatus.st_ino;
#else
    // Canonical paths resolve links, and QFileInfo compares them ignoring
    // case on Windows; a name that reaches nothing is left to QFile::remove.
    const QFileInfo info(candidate);
    return !info.exists() || !(info == kept);
#endif
}

void removeSuperseded(const QStringList &candidates, const QString &chosenVersion)
{
    const QString keptName = releaseFileName(chosenVersion);
    const QFileInfo kept(keptName);
    // With no release to start, deleting the others would leave the user with none.
    if (!kept.isFile())
        return;
    for (const QString &candidate : candidates) {
        if (candidate.compare(keptName, Qt::CaseSensitive) != 0 && isWorthRemoving(candidate, kept))
            QFile::remove(candidate);
    }
}
