// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "mark.h"

#include <QtEndian>

#include <cstring>

// Reads the unsigned field of `width` bytes at `at`, in the given byte order.
static quint64 field(const char *at, int width, bool bigEndian)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value |= quint64(quint8(at[bigEndian ? width - 1 - i : i])) << (8 * i);
    return value;
}

// Whether `notes`, an ELF note area whose entries are aligned to `alignment`
// (4 or 8), holds the mark among its notes. A note is three words (name
// size, descriptor size, type), the name, then the descriptor, each padded.
static bool holdsMarkNote(const QByteArray &notes, quint64 alignment, bool bigEndian)
{
    const auto padded = [alignment](quint64 length) { return (length + alignment - 1) & ~(alignment - 1); };
    const char *bytes = notes.constData();
    for (quint64 at = 0, size = quint64(notes.size()); at + 12 <= size;) {
        const quint64 nameSize = field(bytes + at, 4, bigEndian), descriptorSize = field(bytes + at + 4, 4, bigEndian);
        const quint64 descriptor = padded(at + 12 + nameSize), next = padded(descriptor + descriptorSize);
        if (nameSize == launcherMark.nameSize && descriptorSize == launcherMark.descriptorSize && next <= size
            && field(bytes + at + 8, 4, bigEndian) == launcherMark.type
            && std::memcmp(bytes + at + 12, launcherMark.name, sizeof launcherMark.name) == 0
            && std::memcmp(bytes + descriptor, launcherMark.descriptor, sizeof launcherMark.descriptor) == 0)
            return true;
        at = next;
    }
    return false;
}

// Reads `length` bytes at `offset` into `bytes`; false where the file's size
// does not cover them or they cannot be read.
static bool readPart(HeldFile file, qint64 size, quint64 offset, quint64 length, QByteArray *bytes)
{
    if (offset > quint64(size) || length > quint64(size) - offset)
        return false;
    bytes->resize(int(length));
    return readAt(file, qint64(offset), bytes->data(), qint64(length));
}

// An ELF program: its program headers, then each PT_NOTE segment they name.
static Mark readElfMark(HeldFile file, qint64 size, const QByteArray &header)
{
    const bool wide = header.at(4) == 2, bigEndian = header.at(5) == 2;
    // What the system does not run as an ELF program is not the launcher.
    if (header.at(4) != 1 && !wide)
        return Mark::Absent;
    const int entrySize = wide ? 56 : 32;
    if (header.size() < (wide ? 64 : 52))
        return Mark::Unknown;
    const quint64 tableOffset = field(header.constData() + (wide ? 32 : 28), wide ? 8 : 4, bigEndian);
    const quint64 entryCount = field(header.constData() + (wide ? 56 : 44), 2, bigEndian);
    // Linux runs no program whose table has other entries or exceeds 64 KiB.
    if (field(header.constData() + (wide ? 54 : 42), 2, bigEndian) != quint64(entrySize)
        || entryCount * entrySize > 65536)
        return Mark::Absent;
    QByteArray table, notes;
    if (!readPart(file, size, tableOffset, entryCount * entrySize, &table))
        return Mark::Unknown;
    for (quint64 i = 0; i < entryCount; ++i) {
        const char *entry = table.constData() + i * entrySize;
        if (field(entry, 4, bigEndian) != 4) // PT_NOTE
            continue;
        const quint64 offset = field(entry + (wide ? 8 : 4), wide ? 8 : 4, bigEndian);
        const quint64 length = field(entry + (wide ? 32 : 16), wide ? 8 : 4, bigEndian);
        const quint64 alignment = field(entry + (wide ? 48 : 28), wide ? 8 : 4, bigEndian);
        // The segment must lie within the file; a mark lies among its first notes.
        if (offset > quint64(size) || length > quint64(size) - offset)
            return Mark::Unknown;
        if (!readPart(file, size, offset, qMin<quint64>(length, 65536), &notes))
            return Mark::Unknown;
        if (holdsMarkNote(notes, alignment == 8 ? 8 : 4, bigEndian))
            return Mark::Present;
    }
    return Mark::Absent;
}

// A PE program: its section table, then the section named ".plmark".
static Mark readPeMark(HeldFile file, qint64 size, const QByteArray &header)
{
    if (header.size() < 64)
        return Mark::Unknown;
    const quint64 peOffset = field(header.constData() + 60, 4, false);
    QByteArray fileHeader, table, section;
    if (!readPart(file, size, peOffset, 24, &fileHeader))
        return Mark::Unknown;
    // An MZ program of another kind (DOS, NE) is not the launcher.
    if (std::memcmp(fileHeader.constData(), "PE\0\0", 4) != 0)
        return Mark::Absent;
    const quint64 sectionCount = field(fileHeader.constData() + 6, 2, false);
    const quint64 tableOffset = peOffset + 24 + field(fileHeader.constData() + 20, 2, false);
    if (!readPart(file, size, tableOffset, sectionCount * 40, &table))
        return Mark::Unknown;
    for (quint64 i = 0; i < sectionCount; ++i) {
        const char *entry = table.constData() + i * 40;
        if (std::memcmp(entry, ".plmark", 8) != 0)
            continue;
        const quint64 length = qMin(field(entry + 8, 4, false), field(entry + 16, 4, false));
        if (!readPart(file, size, field(entry + 20, 4, false), qMin<quint64>(length, 4096), &section))
            return Mark::Unknown;
        return holdsMarkNote(section, 4, false) ? Mark::Present : Mark::Absent;
    }
    return Mark::Absent;
}

Mark readMark(HeldFile file, qint64 size)
{
    // Enough for either format's first header; a file too short to be either is neither.
    QByteArray header;
    if (!readPart(file, size, 0, quint64(qMin<qint64>(size, 64)), &header))
        return Mark::Unknown;
    if (header.startsWith("\x7f" "ELF"))
        return header.size() > 5 ? readElfMark(file, size, header) : Mark::Unknown;
    if (header.startsWith("MZ"))
        return readPeMark(file, size, header);
    return Mark::Absent;
}
