// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>

#include <errno.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

static FileIdentity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

bool readIdentity(const QString &name, FileIdentity *identity)
{
    struct stat status;
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return false;
    *identity = identityOf(status);
    return true;
}

QVector<FileIdentity> readOwnIdentities()
{
    // The kernel's link to the program's file, even renamed or deleted (the
    // loader's file when the loader was started by name); then the path the
    // program was started by, as the loader passes it on, which is all there
    // is without /proc.
    QVector<FileIdentity> identities;
    FileIdentity identity;
    if (readIdentity(QStringLiteral("/proc/self/exe"), &identity))
        identities.append(identity);
    const auto path = reinterpret_cast<const char *>(::getauxval(AT_EXECFN));
    if (path && readIdentity(QFile::decodeName(path), &identity))
        identities.append(identity);
    return identities;
}

bool holdRegularFile(const QString &name, HeldFile *file, FileIdentity *identity, qint64 *size)
{
    // A device is not opened, which may act on it (a tape rewinds); nor is a
    // FIFO, which would wake its writer. Opened without blocking should one
    // take the name since, and what was opened must be a regular file.
    const QByteArray path = QFile::encodeName(name);
    struct stat status;
    if (::stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    *file = fd;
    *identity = identityOf(status);
    *size = status.st_size;
    return true;
}

bool readAt(HeldFile file, qint64 offset, char *bytes, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t read = ::pread(int(file), bytes + done, size_t(size - done), off_t(offset + done));
        if (read <= 0 && !(read < 0 && errno == EINTR))
            return false;
        done += qMax<ssize_t>(read, 0);
    }
    return true;
}

void letGo(HeldFile file)
{
    ::close(int(file));
}
