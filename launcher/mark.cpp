// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "mark.h"

#include <QByteArray>

#include <cstring>

// Reads the unsigned field of `width` bytes at `at`, in the given byte order.
static quint64 field(const char *at, int width, bool bigEndian)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value |= quint64(quint8(at[bigEndian ? width - 1 - i : i])) << (8 * i);
    return value;
}

// Whether `bytes` hold the mark, its words in either byte order: its name
// and descriptor, which read the same in both, and the three words before.
static bool holdsMark(const QByteArray &bytes)
{
    const int words = 3 * 4;
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(&launcherMark) + words,
                                                    int(sizeof launcherMark) - words);
    for (int at = bytes.indexOf(text, words); at >= 0; at = bytes.indexOf(text, at + 1)) {
        for (const bool bigEndian : {false, true}) {
            const char *start = bytes.constData() + at - words;
            if (field(start, 4, bigEndian) == launcherMark.nameSize && field(start + 4, 4, bigEndian) == launcherMark.descriptorSize
                && field(start + 8, 4, bigEndian) == launcherMark.type)
                return true;
        }
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

// Looks for the mark, in either byte order, anywhere in the `length` bytes at
// `offset`: notes are not walked, so no note before it can hide it. Read in
// parts that overlap by less than a mark, so one across two parts is seen.
// `budget` is what may still be read of all notes: programs' notes take a few
// hundred bytes, and beyond 1 MiB the answer is left open rather than let
// crafted headers make the launcher read for hours.
static Mark findMark(HeldFile file, qint64 size, quint64 offset, quint64 length, quint64 *budget)
{
    if (length > *budget)
        return Mark::Unknown;
    *budget -= length;
    QByteArray part;
    for (quint64 done = 0; done < length; done += 65536 - sizeof launcherMark + 1) {
        if (!readPart(file, size, offset + done, qMin<quint64>(65536, length - done), &part))
            return Mark::Unknown;
        if (holdsMark(part))
            return Mark::Present;
        if (quint64(part.size()) == length - done)
            break;
    }
    return Mark::Absent;
}

// The ELF program read as of one class and byte order: its program headers,
// then each PT_NOTE segment they name.
static Mark readElfNotes(HeldFile file, qint64 size, const QByteArray &header, bool wide, bool bigEndian)
{
    const int entrySize = wide ? 56 : 32;
    if (header.size() < (wide ? 64 : 52))
        return Mark::Unknown;
    const quint64 tableOffset = field(header.constData() + (wide ? 32 : 28), wide ? 8 : 4, bigEndian);
    const quint64 entryCount = field(header.constData() + (wide ? 56 : 44), 2, bigEndian);
    // Linux runs no program whose table has other entries or exceeds 64 KiB.
    if (field(header.constData() + (wide ? 54 : 42), 2, bigEndian) != quint64(entrySize) || entryCount * entrySize > 65536)
        return Mark::Absent;
    QByteArray table;
    if (!readPart(file, size, tableOffset, entryCount * entrySize, &table))
        return Mark::Unknown;
    Mark answer = Mark::Absent;
    quint64 budget = 1 << 20;
    for (quint64 i = 0; i < entryCount; ++i) {
        const char *entry = table.constData() + i * entrySize;
        if (field(entry, 4, bigEndian) != 4) // PT_NOTE
            continue;
        const Mark mark = findMark(file, size, field(entry + (wide ? 8 : 4), wide ? 8 : 4, bigEndian),
                                   field(entry + (wide ? 32 : 16), wide ? 8 : 4, bigEndian), &budget);
        if (mark != Mark::Absent)
            answer = mark;
        if (mark == Mark::Present)
            break;
    }
    return answer;
}

// An ELF program. Linux runs one whatever its class and byte order bytes say,
// so every reading of them is tried for the mark; only the one they declare
// can leave the answer open.
static Mark readElfMark(HeldFile file, qint64 size, const QByteArray &header)
{
    Mark answer = Mark::Absent;
    for (const bool wide : {true, false}) {
        for (const bool bigEndian : {false, true}) {
            const Mark mark = readElfNotes(file, size, header, wide, bigEndian);
            if (mark == Mark::Present)
                return mark;
            if (wide == (header.at(4) == 2) && bigEndian == (header.at(5) == 2))
                answer = mark;
        }
    }
    return answer;
}

// A PE program: its section table, then the first bytes of each section's
// data in the file, where the system's loader takes them from (it rounds the
// place down to 512 bytes). The mark's own section, ".plmark", must be there;
// found in any section, the mark counts, so a renamed section does not hide it.
static Mark readPeMark(HeldFile file, qint64 size, const QByteArray &header)
{
    if (header.size() < 64)
        return Mark::Unknown;
    const quint64 peOffset = field(header.constData() + 60, 4, false);
    QByteArray fileHeader, table, bytes;
    if (!readPart(file, size, peOffset, 24, &fileHeader))
        return Mark::Unknown;
    // An MZ program of another kind (DOS, NE) is not the launcher.
    if (!fileHeader.startsWith(QByteArray("PE\0\0", 4)))
        return Mark::Absent;
    const quint64 sectionCount = field(fileHeader.constData() + 6, 2, false);
    const quint64 tableOffset = peOffset + 24 + field(fileHeader.constData() + 20, 2, false);
    if (!readPart(file, size, tableOffset, sectionCount * 40, &table))
        return Mark::Unknown;
    Mark answer = Mark::Absent;
    for (quint64 i = 0; i < sectionCount; ++i) {
        const char *entry = table.constData() + i * 40;
        const quint64 place = field(entry + 20, 4, false), aligned = place & ~quint64(511);
        if ((readPart(file, size, place, sizeof launcherMark, &bytes) && holdsMark(bytes))
            || (aligned != place && readPart(file, size, aligned, sizeof launcherMark, &bytes) && holdsMark(bytes)))
            return Mark::Present;
        if (std::memcmp(entry, ".plmark", 8) == 0 && !readPart(file, size, place, sizeof launcherMark, &bytes))
            answer = Mark::Unknown;
    }
    return answer;
}

Mark readMark(HeldFile file, qint64 size)
{
    // Enough for either format's first header.
    QByteArray header;
    if (!readPart(file, size, 0, quint64(qMin<qint64>(size, 64)), &header))
        return Mark::Unknown;
    if (header.startsWith("\x7f" "ELF"))
        return header.size() > 5 ? readElfMark(file, size, header) : Mark::Unknown;
    if (header.startsWith("MZ"))
        return readPeMark(file, size, header);
    return Mark::Absent;
}
