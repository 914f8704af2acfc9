// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QDir>

#include <windows.h>

static const wchar_t *nativeName(const QString &name)
{
    return reinterpret_cast<const wchar_t *>(name.utf16());
}

static FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION &information)
{
    return {information.dwVolumeSerialNumber, (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

bool readIdentity(const QString &name, FileIdentity *identity)
{
    // No access rights and every share mode: a running or held file can still be asked.
    const HANDLE file = ::CreateFileW(nativeName(QDir::toNativeSeparators(name)), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool read = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    if (read)
        *identity = identityOf(information);
    return read;
}

QVector<FileIdentity> readOwnIdentities()
{
    // The path the program was started by; stale once the file is renamed, and
    // under Wine not always one the file functions take.
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, DWORD(sizeof path / sizeof *path));
    FileIdentity identity;
    if (length == 0 || length >= sizeof path / sizeof *path
        || !readIdentity(QString::fromWCharArray(path, int(length)), &identity))
        return {};
    return {identity};
}

bool holdRegularFile(const QString &name, HeldFile *file, FileIdentity *identity, qint64 *size)
{
    // Shared for reading only, and not inherited by the release: while held,
    // no one can write, rename over or remove it, and the system's own open
    // to run it (for reading and executing) is still admitted. A folder is
    // not opened without backup semantics.
    const HANDLE handle = ::CreateFileW(nativeName(QDir::toNativeSeparators(name)), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    // A disk file, not a pipe or a device.
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &information)
        || (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(handle);
        return false;
    }
    *file = reinterpret_cast<HeldFile>(handle);
    *identity = identityOf(information);
    *size = (qint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return true;
}

bool readAt(HeldFile file, qint64 offset, char *bytes, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        OVERLAPPED at = {};
        at.Offset = DWORD(quint64(offset + done));
        at.OffsetHigh = DWORD(quint64(offset + done) >> 32);
        DWORD read = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(file), bytes + done, DWORD(qMin<qint64>(size - done, 1 << 30)), &read, &at)
            || read == 0)
            return false;
        done += read;
    }
    return true;
}

void letGo(HeldFile file)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(file));
}
