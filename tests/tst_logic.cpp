// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The launcher's logic in process, one slot per behaviour and one row per
// case: the version order, the choice among listed names, and the reading
// of the launcher's mark from ELF and PE files made here or named by the
// environment (PELLIMANTOR_LAUNCHER, PELLIMANTOR_WINDOWS_LAUNCHER).

#include "discovery.h"
#include "mark.h"
#include "version_order.h"

#include <QtTest>

Q_DECLARE_METATYPE(Mark)

// `value` as `width` bytes in the given byte order.
static QByteArray word(quint64 value, int width, bool big = false)
{
    QByteArray bytes;
    for (int i = 0; i < width; ++i)
        bytes.insert(big ? 0 : i, char(value >> (8 * i)));
    return bytes;
}

// An ELF note: name and descriptor each padded to `align` after the three words.
static QByteArray note(const QByteArray &name, quint32 type, const QByteArray &descriptor, bool big = false, int align = 4)
{
    QByteArray bytes = word(name.size(), 4, big) + word(descriptor.size(), 4, big) + word(type, 4, big) + name;
    bytes.append(-bytes.size() & (align - 1), '\0').append(descriptor);
    return bytes.append(-bytes.size() & (align - 1), '\0');
}
static const QByteArray markNote = note(QByteArray("Pellimantor", 12), 0x100, "launcher");

// An ELF program whose one program header is a PT_NOTE segment of `notes`, the
// file cut to `size` bytes when given.
static QByteArray elf(const QByteArray &notes, bool wide = true, bool big = false, int align = 4, int size = -1)
{
    const int at = wide ? 64 : 52, length = wide ? 8 : 4;
    QByteArray bytes = QByteArray("\x7f" "ELF") + char(wide ? 2 : 1) + char(big ? 2 : 1);
    bytes.append(at - 6, '\0').append(word(4, 4, big)).append(wide ? 52 : 28, '\0').append(notes);
    const auto put = [&](int offset, quint64 value, int width) { bytes.replace(offset, width, word(value, width, big)); };
    put(wide ? 32 : 28, quint64(at), length);                   // e_phoff
    put(wide ? 54 : 42, quint64(wide ? 56 : 32), 2);            // e_phentsize
    put(wide ? 56 : 44, 1, 2);                                  // e_phnum
    put(at + (wide ? 8 : 4), quint64(at + (wide ? 56 : 32)), length); // p_offset
    put(at + (wide ? 32 : 16), quint64(notes.size()), length);  // p_filesz
    put(at + (wide ? 48 : 28), quint64(align), length);         // p_align
    return size < 0 ? bytes : bytes.left(size);
}

// A PE program with one section, `name`, holding `content`, cut to `size` when given.
static QByteArray pe(const QByteArray &signature, const QByteArray &name, const QByteArray &content, int size = -1)
{
    QByteArray bytes = "MZ" + QByteArray(58, '\0') + word(64, 4) + signature + word(0, 2) + word(1, 2) + QByteArray(12, '\0')
        + word(0, 2) + word(0, 2) + name.leftJustified(8, '\0') + word(content.size(), 4) + word(0x1000, 4)
        + word(content.size(), 4) + word(128, 4) + QByteArray(16, '\0') + content;
    return size < 0 ? bytes : bytes.left(size);
}

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class LogicTest : public QObject
{
    Q_OBJECT

private slots:
    void isSameOrNewer_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<bool>("expected");
        QTest::newRow("newer at the first component") << "0.0" << "1.10" << true;
        QTest::newRow("9 is older than 10") << "1.10" << "1.9" << false;
        QTest::newRow("10 is newer than 9") << "1.9" << "1.10" << true;
        QTest::newRow("missing component is 0") << "2.0" << "2" << true;
        QTest::newRow("longer, newer at the end") << "1.2" << "1.2.0.1" << true;
        QTest::newRow("shorter, older") << "1.2.1" << "1.2" << false;
        QTest::newRow("word is 0") << "0.0" << "beta" << true;
        QTest::newRow("word is not 1") << "1" << "x" << false;
        QTest::newRow("empty is 0") << "0.0" << "" << true;
        QTest::newRow("negative is older") << "0.0" << "-1" << false;
        QTest::newRow("0 over -1") << "1.-1" << "1" << true;
        QTest::newRow("empty component is 0") << "1.0" << "1..1" << true;
        QTest::newRow("010 is ten, not octal") << "9" << "010" << true;
        QTest::newRow("sign and blanks around") << "4" << " +5 " << true;
        QTest::newRow("blank inside is 0") << "1" << "5 5" << false;
        QTest::newRow("letters after digits are 0") << "1" << "2a" << false;
        QTest::newRow("hexadecimal is 0") << "1" << "0x10" << false;
        QTest::newRow("other digits are 0") << "1" << QString::fromUtf8("\xd9\xa3") << false;
        QTest::newRow("largest int") << "2147483646" << "2147483647" << true;
        QTest::newRow("beyond int is 0") << "1" << "2147483648" << false;
        QTest::newRow("twenty digits are 0") << "1" << "99999999999999999999" << false;
        QTest::newRow("smallest int") << "1.0" << "1.-2147483648" << false;
        QTest::newRow("below smallest int is 0") << "1.-2147483648" << "1.-2147483649" << true;
    }
    void isSameOrNewer()
    {
        QFETCH(QString, current);
        QFETCH(QString, candidate);
        QFETCH(bool, expected);
        QVERIFY2(::isSameOrNewer(current, candidate) == expected, expected ? "expected the same or newer" : "expected older");
    }

    void selectRelease_data()
    {
        // Listed names in listing order; the release chosen; the names superseded.
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("superseded");
        QTest::newRow("typical") << "@.1.10.exe,@.1.9.exe,@.exe" << "@.1.10.exe" << "@.1.9.exe";
        QTest::newRow("nothing listed") << "" << "@.0.0.exe" << "";
        QTest::newRow("two parts are no release") << "@.exe,@.txt,@" << "@.0.0.exe" << "";
        QTest::newRow("equal: later listed") << "@.2.0.exe,@.2.exe" << "@.2.exe" << "@.2.0.exe";
        QTest::newRow("equal: later listed, longer") << "@.2.exe,@.2.0.exe" << "@.2.0.exe" << "@.2.exe";
        QTest::newRow("every version below zero") << "@.-1.exe,@.-2.exe" << "@.0.0.exe" << "@.-1.exe,@.-2.exe";
        QTest::newRow("word as new as 0.0") << "@.beta.exe" << "@.beta.exe" << "";
        QTest::newRow("word then older") << "@.beta.exe,@.-1.exe" << "@.beta.exe" << "@.-1.exe";
        QTest::newRow("prefix, extension and case dropped") << "pellimantor.1.5.EXE,@Setup.3.1.exe,@.2.0"
                                                            << "@.3.1.exe" << "@.1.5.exe,@.2.exe";
        QTest::newRow("leading empty parts vanish") << "@..2.exe,@....3.exe" << "@.3.exe" << "@.2.exe";
        QTest::newRow("trailing empty part stays") << "@.2..exe" << "@.2..exe" << "";
        QTest::newRow("empty version") << "@..exe" << "@..exe" << "";
        QTest::newRow("backup's version wins the tie") << "@.1.2.3.exe,@.1.2.3.exe.bak" << "@.1.2.3.exe.exe" << "@.1.2.3.exe";
        QTest::newRow("duplicates superseded twice") << "@.1.2.dll,@.1.2.exe,@.3.exe" << "@.3.exe" << "@.1.2.exe,@.1.2.exe";
        QTest::newRow("duplicates of the kept name kept") << "@.3.dll,@.1.exe,@.3.exe" << "@.3.exe" << "@.1.exe";
    }
    void selectRelease()
    {
        QFETCH(QString, listed);
        QFETCH(QString, release);
        QFETCH(QString, superseded);
        const auto names = [](QString list) { return list.replace('@', "Pellimantor").split(',', Qt::SkipEmptyParts); };
        const Selection chosen = ::selectRelease(names(listed));
        QCOMPARE(chosen.release, release.replace('@', "Pellimantor"));
        QCOMPARE(chosen.superseded, names(superseded));
    }

    void readMark_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Mark>("expected");
        const QByteArray launcher = contents(qEnvironmentVariable("PELLIMANTOR_LAUNCHER"));
        const QByteArray windows = contents(qEnvironmentVariable("PELLIMANTOR_WINDOWS_LAUNCHER"));
        const QByteArray gnuProperty = note("GNU", 5, QByteArray(16, '\1'), false, 8);
        QTest::newRow("the launcher") << launcher << Mark::Present;
        QTest::newRow("this program, built from the logic") << contents(QCoreApplication::applicationFilePath()) << Mark::Absent;
        QTest::newRow("the launcher cut in its ELF header") << launcher.left(40) << Mark::Unknown;
        QTest::newRow("the launcher cut in its program headers") << launcher.left(100) << Mark::Unknown;
        QTest::newRow("the Windows launcher") << windows << (windows.isEmpty() ? Mark::Absent : Mark::Present);
        QTest::newRow("the Windows launcher cut before its PE header") << windows.left(100)
                                                                     << (windows.isEmpty() ? Mark::Absent : Mark::Unknown);
        QTest::newRow("64-bit, little-endian") << elf(markNote) << Mark::Present;
        QTest::newRow("32-bit, big-endian") << elf(note(QByteArray("Pellimantor", 12), 0x100, "launcher", true), false, true)
                                            << Mark::Present;
        QTest::newRow("after another note, 8-aligned") << elf(gnuProperty + note(QByteArray("Pellimantor", 12), 0x100, "launcher", false, 8), true, false, 8)
                                                       << Mark::Present;
        QTest::newRow("another note only") << elf(note("GNU", 3, "12345678")) << Mark::Absent;
        QTest::newRow("another type") << elf(note(QByteArray("Pellimantor", 12), 1, "launcher")) << Mark::Absent;
        QTest::newRow("another descriptor") << elf(note(QByteArray("Pellimantor", 12), 0x100, "launches")) << Mark::Absent;
        QTest::newRow("notes cut short") << elf(markNote, true, false, 4, 64 + 56 + 20) << Mark::Unknown;
        QTest::newRow("no ELF class the system runs") << elf(markNote).replace(4, 1, "\3") << Mark::Absent;
        QTest::newRow("neither format") << QByteArray("#!/bin/sh\n") << Mark::Absent;
        QTest::newRow("empty") << QByteArray() << Mark::Absent;
        QTest::newRow("PE") << pe(QByteArray("PE\0\0", 4), ".plmark", markNote) << Mark::Present;
        QTest::newRow("PE, mark in another section") << pe(QByteArray("PE\0\0", 4), ".rdata", markNote) << Mark::Absent;
        QTest::newRow("PE, mark cut short") << pe(QByteArray("PE\0\0", 4), ".plmark", markNote, 150) << Mark::Unknown;
        QTest::newRow("PE, section table cut short") << pe(QByteArray("PE\0\0", 4), ".plmark", markNote, 100) << Mark::Unknown;
        QTest::newRow("MZ of another kind") << pe(QByteArray("NE\0\0", 4), ".plmark", markNote) << Mark::Absent;
    }
    void readMark()
    {
        QFETCH(QByteArray, file);
        QFETCH(Mark, expected);
        QTemporaryFile written;
        QVERIFY2(written.open() && written.write(file) == file.size() && written.flush(), "cannot write the file");
        HeldFile held;
        FileIdentity identity;
        qint64 size;
        QVERIFY2(holdRegularFile(written.fileName(), &held, &identity, &size), "cannot hold the file");
        const Mark mark = ::readMark(held, size);
        letGo(held);
        const char *names[] = {"no mark", "the mark", "no answer"};
        QVERIFY2(mark == expected, QByteArray("expected ") + names[int(expected)] + ", got " + names[int(mark)]);
    }
};

QTEST_MAIN(LogicTest)
#include "tst_logic.moc"
