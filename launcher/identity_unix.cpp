// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>
#include <QStringList>

#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size, bool *regular)
{
    struct stat status;
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return false;
    *identity = {quint64(status.st_dev), quint64(status.st_ino)};
    if (size)
        *size = status.st_size;
    if (regular)
        *regular = S_ISREG(status.st_mode);
    return true;
}

bool openRegularFile(QFile *file, const QString &name)
{
    // Not blocking, should a FIFO have taken the name since it was asked; what
    // was opened is what must be a regular file.
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    return file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
}

// The first object the dynamic linker reports is the program itself, also
// when the loader was started by name with the program as its argument. Its
// headers lie at the start of the segment mapped from the file's first byte.
static int findHeaders(struct dl_phdr_info *info, size_t, void *headers)
{
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_offset == 0)
            *static_cast<const void **>(headers) = reinterpret_cast<const void *>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
    }
    return 1;
}

const void *runningImage()
{
    const void *headers = nullptr;
    dl_iterate_phdr(findHeaders, &headers);
    return headers;
}

// Reads mapped bytes of a program, which the address sanitizer, where the
// launcher is built with it, would take for reads past its globals' bounds.
#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize("address")))
#endif
static bool isMapped(const char *bytes, const char *memory, qint64 size)
{
    for (qint64 i = 0; i < size; ++i) {
        if (bytes[i] != memory[i])
            return false;
    }
    return true;
}

// Where the section headers are, which stripping changes, does not decide what
// runs: the file's header takes the mapped header's values for it.
static void takeSectionHeaderFields(char *header, const char *memory)
{
    const size_t place = offsetof(ElfW(Ehdr), e_shoff), count = offsetof(ElfW(Ehdr), e_shentsize);
    std::memcpy(header + place, memory + place, sizeof(ElfW(Off)));
    // e_shentsize, e_shnum and e_shstrndx, the header's last three fields.
    std::memcpy(header + count, memory + count, sizeof(ElfW(Ehdr)) - count);
}

bool holdsImage(QFile *file, const void *image)
{
    if (!image)
        return false;
    const auto header = static_cast<const ElfW(Ehdr) *>(image);
    const auto segments = reinterpret_cast<const ElfW(Phdr) *>(static_cast<const char *>(image) + header->e_phoff);
    // Where the segment holding the headers was mapped, against where the file asks for it.
    ElfW(Addr) bias = 0;
    for (int i = 0; i < header->e_phnum; ++i) {
        if (segments[i].p_type == PT_LOAD && segments[i].p_offset == 0)
            bias = ElfW(Addr)(image) - segments[i].p_vaddr;
    }
    // Only what the file's size covers is read: some files the system calls
    // regular (/proc/kmsg) claim no size and block when read.
    const quint64 size = quint64(file->size());
    int compared = 0;
    char chunk[65536];
    for (int i = 0; i < header->e_phnum; ++i) {
        const ElfW(Phdr) &segment = segments[i];
        // Writable segments change as the program runs; the others stay as mapped.
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) || !(segment.p_flags & PF_R))
            continue;
        if (segment.p_offset + segment.p_filesz > size || !file->seek(qint64(segment.p_offset)))
            return false;
        const char *memory = reinterpret_cast<const char *>(bias + segment.p_vaddr);
        for (quint64 done = 0; done < segment.p_filesz;) {
            const qint64 wanted = qint64(qMin<quint64>(sizeof chunk, segment.p_filesz - done));
            if (file->read(chunk, wanted) != wanted)
                return false;
            if (segment.p_offset + done == 0 && wanted >= qint64(sizeof *header))
                takeSectionHeaderFields(chunk, memory);
            if (!isMapped(chunk, memory + done, wanted))
                return false;
            done += quint64(wanted);
        }
        ++compared;
    }
    return compared > 0;
}

QStringList ownFileCandidates()
{
    // The kernel's link to the program's file, even renamed or deleted (the
    // loader's file when the loader was started by name); then the path the
    // program was started by, as the loader passes it on.
    QStringList candidates(QStringLiteral("/proc/self/exe"));
    if (const auto path = reinterpret_cast<const char *>(::getauxval(AT_EXECFN)))
        candidates.append(QFile::decodeName(path));
    return candidates;
}
