#include "removal.h"

#include "discovery.h"

#include <QFile>
#include <QPair>

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#else
#include <errno.h>
#include <sys/stat.h>
#endif

// Which file a name reaches, links followed: the file system's own answer,
// so another spelling or a link of the same file has the same identity.
using FileIdentity = QPair<quint64, quint64>;

#ifdef Q_OS_WIN
// Volume serial number and file index. The handle asks for no access and
// shares everything, so a running or locked release can still be asked.
static bool readIdentity(const QString &name, FileIdentity *identity)
{
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool read = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    if (read)
        *identity = {information.dwVolumeSerialNumber,
                     (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return read;
}

// A candidate whose identity cannot be read, or that names nothing, stays.
static bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    FileIdentity identity;
    return readIdentity(candidate, &identity) && identity != kept;
}
#else
// Device and inode.
static bool readIdentity(const QString &name, FileIdentity *identity)
{
    struct stat status;
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return false;
    *identity = {quint64(status.st_dev), quint64(status.st_ino)};
    return true;
}

static bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    // A name that reaches nothing, not even a dangling link, is passed over:
    // asking Qt to remove it builds a file object and an error text for
    // nothing, much of the time in a folder of many superseded versions.
    struct stat status;
    if (::lstat(QFile::encodeName(candidate).constData(), &status) != 0)
        return errno != ENOENT;
    // A dangling link reaches no file, so not the kept one either.
    FileIdentity identity;
    return !readIdentity(candidate, &identity) || identity != kept;
}
#endif

void removeSuperseded(const QStringList &candidates, const QString &chosenVersion)
{
    const QString keptName = releaseFileName(chosenVersion);
    // Without the kept release's identity no candidate can be told apart from it.
    FileIdentity kept;
    if (!readIdentity(keptName, &kept))
        return;
    for (const QString &candidate : candidates) {
        if (candidate.compare(keptName, Qt::CaseSensitive) != 0 && isWorthRemoving(candidate, kept))
            QFile::remove(candidate);
    }
}
