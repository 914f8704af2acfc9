// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>
#include <QStringList>

#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>

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

// The first object the dynamic linker reports is the program itself, also
// when the loader was started by name with the program as its argument.
static int takeProgram(struct dl_phdr_info *info, size_t, void *program)
{
    *static_cast<dl_phdr_info *>(program) = *info;
    return 1;
}

// Reads the program's own mapped bytes, which the address sanitizer, where the
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

bool holdsRunningImage(QFile *file)
{
    dl_phdr_info program = {};
    dl_iterate_phdr(takeProgram, &program);
    int compared = 0;
    char chunk[65536];
    for (int i = 0; i < program.dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = program.dlpi_phdr[i];
        // Writable segments change as the program runs; the others stay as mapped.
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) || !(segment.p_flags & PF_R))
            continue;
        if (!file->seek(qint64(segment.p_offset)))
            return false;
        const char *memory = reinterpret_cast<const char *>(program.dlpi_addr + segment.p_vaddr);
        for (quint64 done = 0; done < segment.p_filesz;) {
            const qint64 wanted = qint64(qMin<quint64>(sizeof chunk, segment.p_filesz - done));
            if (file->read(chunk, wanted) != wanted || !isMapped(chunk, memory + done, wanted))
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
