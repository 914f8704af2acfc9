// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstring>
#include <windows.h>

bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size, bool *regular)
{
    // No access rights and every share mode: a running or locked file can still be asked.
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool read = ::GetFileInformationByHandle(file, &information) != 0;
    // A disk file, not a folder; a pipe or a device is of another type.
    const bool disk = ::GetFileType(file) == FILE_TYPE_DISK;
    ::CloseHandle(file);
    if (!read)
        return false;
    if (regular)
        *regular = disk && !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    *identity = {information.dwVolumeSerialNumber,
                 (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    if (size)
        *size = (qint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return true;
}

bool openRegularFile(QFile *file, const QString &name)
{
    // A pipe or a device has no name in a folder that a release could take.
    file->setFileName(name);
    return file->open(QIODevice::ReadOnly);
}

// Adds `delta` at each base relocation that falls in `bytes`, the section at `rva`.
static void relocate(QByteArray *bytes, DWORD rva, const char *image, const IMAGE_DATA_DIRECTORY &table, ULONG_PTR delta)
{
    for (DWORD at = 0; at + sizeof(IMAGE_BASE_RELOCATION) <= table.Size;) {
        const auto block = reinterpret_cast<const IMAGE_BASE_RELOCATION *>(image + table.VirtualAddress + at);
        if (block->SizeOfBlock < sizeof *block)
            return;
        const auto entries = reinterpret_cast<const WORD *>(block + 1);
        for (DWORD i = 0; i < (block->SizeOfBlock - sizeof *block) / sizeof(WORD); ++i) {
            const int type = entries[i] >> 12;
            const DWORD offset = block->VirtualAddress + (entries[i] & 0xfff);
            const DWORD width = type == IMAGE_REL_BASED_HIGHLOW ? 4 : type == IMAGE_REL_BASED_DIR64 ? 8 : 0;
            if (width == 0 || offset < rva || offset + width > rva + DWORD(bytes->size()))
                continue;
            char *at = bytes->data() + (offset - rva);
            if (width == 4) {
                quint32 value;
                std::memcpy(&value, at, 4);
                value += quint32(delta);
                std::memcpy(at, &value, 4);
            } else {
                quint64 value;
                std::memcpy(&value, at, 8);
                value += quint64(delta);
                std::memcpy(at, &value, 8);
            }
        }
        at += block->SizeOfBlock;
    }
}

const void *runningImage()
{
    return ::GetModuleHandleW(nullptr);
}

// Sets the file's `field` of the headers `bytes` to the image's: the base the
// image was loaded at, what signing changes (as Authenticode leaves out), and
// what stripping changes (the time stamp, the symbol table's place and size).
static void takeField(QByteArray *bytes, const char *image, const void *field, size_t size)
{
    const auto at = static_cast<const char *>(field) - image;
    std::memcpy(bytes->data() + at, field, size);
}

bool holdsImage(QFile *file, const void *mapped)
{
    const auto image = static_cast<const char *>(mapped);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER *>(image)->e_lfanew);
    const qint64 headerSize = nt->OptionalHeader.SizeOfHeaders;
    QByteArray headers = file->read(headerSize);
    if (headers.size() != headerSize)
        return false;
    const auto baseField = reinterpret_cast<const char *>(&nt->OptionalHeader.ImageBase) - image;
    ULONG_PTR fileBase;
    std::memcpy(&fileBase, headers.constData() + baseField, sizeof fileBase);
    takeField(&headers, image, &nt->OptionalHeader.ImageBase, sizeof nt->OptionalHeader.ImageBase);
    takeField(&headers, image, &nt->OptionalHeader.CheckSum, sizeof nt->OptionalHeader.CheckSum);
    takeField(&headers, image, &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY],
              sizeof(IMAGE_DATA_DIRECTORY));
    takeField(&headers, image, &nt->FileHeader.TimeDateStamp, sizeof nt->FileHeader.TimeDateStamp);
    takeField(&headers, image, &nt->FileHeader.PointerToSymbolTable,
              sizeof nt->FileHeader.PointerToSymbolTable + sizeof nt->FileHeader.NumberOfSymbols);
    if (std::memcmp(headers.constData(), image, size_t(headerSize)) != 0)
        return false;
    // Sections that stay as mapped: not writable, not zero-filled; relocated where the base moved.
    const ULONG_PTR delta = ULONG_PTR(image) - fileBase;
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->Characteristics & (IMAGE_SCN_MEM_WRITE | IMAGE_SCN_CNT_UNINITIALIZED_DATA))
            continue;
        const qint64 size = qMin<qint64>(section->SizeOfRawData, section->Misc.VirtualSize);
        if (!file->seek(section->PointerToRawData))
            return false;
        QByteArray bytes = file->read(size);
        if (bytes.size() != size)
            return false;
        if (delta != 0)
            relocate(&bytes, section->VirtualAddress, image,
                     nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC], delta);
        if (std::memcmp(bytes.constData(), image + section->VirtualAddress, size_t(size)) != 0)
            return false;
    }
    return true;
}

QStringList ownFileCandidates()
{
    // The path the program was started by; stale once the file is renamed, and
    // under Wine not always one the file functions take.
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, DWORD(sizeof path / sizeof *path));
    return length > 0 && length < sizeof path / sizeof *path ? QStringList(QString::fromWCharArray(path, int(length)))
                                                             : QStringList();
}
