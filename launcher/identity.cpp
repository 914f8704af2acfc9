// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>

#include <cstring>

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#ifdef Q_OS_WIN
bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size)
{
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool read = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    if (!read)
        return false;
    *identity = {information.dwVolumeSerialNumber, (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    if (size)
        *size = (qint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return true;
}

static QString launcherFile()
{
    // Long paths included: a module path is at most 32,767 characters.
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, DWORD(sizeof path / sizeof *path));
    return length > 0 && length < sizeof path / sizeof *path ? QString::fromWCharArray(path, int(length)) : QString();
}
#else
bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size)
{
    struct stat status;
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return false;
    *identity = {quint64(status.st_dev), quint64(status.st_ino)};
    if (size)
        *size = status.st_size;
    return true;
}

static QString launcherFile()
{
    // The kernel's link to the running program's file, whatever it is called.
    return QStringLiteral("/proc/self/exe");
}
#endif

static bool haveSameContents(const QString &first, const QString &second)
{
    QFile one(first), other(second);
    if (!one.open(QIODevice::ReadOnly) || !other.open(QIODevice::ReadOnly))
        return false;
    char chunk[65536], otherChunk[65536];
    for (;;) {
        const qint64 read = one.read(chunk, sizeof chunk);
        if (read < 0 || other.read(otherChunk, sizeof otherChunk) != read || std::memcmp(chunk, otherChunk, size_t(read)) != 0)
            return false;
        if (read == 0)
            return true;
    }
}

bool isLauncherItself(const QString &name)
{
    const QString own = launcherFile();
    FileIdentity ownIdentity, identity;
    qint64 ownSize, size;
    if (own.isEmpty() || !readIdentity(own, &ownIdentity, &ownSize) || !readIdentity(name, &identity, &size))
        return false;
    return identity == ownIdentity || (size == ownSize && haveSameContents(own, name));
}
