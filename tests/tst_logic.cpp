// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The launcher's logic in process, one slot per behaviour and one row per
// case: the version order, the choice among listed names, and the reading
// of the launcher's mark from the launchers the environment names
// (PELLIMANTOR_LAUNCHER, PELLIMANTOR_WINDOWS_LAUNCHER), changed here, and
// from ELF files made here.

#include "discovery.h"
#include "mark.h"
#include "version_order.h"

#include <QtTest>

Q_DECLARE_METATYPE(Mark)

static const QByteArray markName("Pellimantor", 12);

// A big-endian ELF note of `name`, `type` and `descriptor`, padded to `align`.
static QByteArray note(const QByteArray &name, quint32 type, const QByteArray &descriptor, int align = 4)
{
    QByteArray bytes;
    for (const quint32 word : {quint32(name.size()), quint32(descriptor.size()), type})
        bytes.append(char(word >> 24)).append(char(word >> 16)).append(char(word >> 8)).append(char(word));
    bytes += name + QByteArray(-(bytes.size() + name.size()) & (align - 1), '\0') + descriptor;
    return bytes + QByteArray(-bytes.size() & (align - 1), '\0');
}

// A 32-bit big-endian ELF file whose one program header is a PT_NOTE segment of `notes` aligned to `align`.
static QByteArray elf32(const QByteArray &notes, char align = 4)
{
    return QByteArray("\x7f" "ELF\1\2", 6) + QByteArray(22, '\0') + QByteArray("\0\0\0\x34", 4) + QByteArray(10, '\0')
        + QByteArray("\0\x20\0\1", 4) + QByteArray(6, '\0') + QByteArray("\0\0\0\4\0\0\0\x54", 8) + QByteArray(10, '\0')
        + char(notes.size() >> 8) + char(notes.size()) + QByteArray(11, '\0') + char(align) + notes;
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
        QTest::newRow("empty is 0") << "0.0" << "" << true;
        QTest::newRow("negative is older") << "0.0" << "-1" << false;
        QTest::newRow("0 over -1") << "1.-1" << "1" << true;
        QTest::newRow("010 is ten, not octal") << "9" << "010" << true;
        QTest::newRow("sign and blanks around") << "4" << " +5 " << true;
        QTest::newRow("letters after digits are 0") << "1" << "2a" << false;
        QTest::newRow("other digits are 0") << "1" << QString::fromUtf8("\xd9\xa3") << false;
        QTest::newRow("largest int") << "2147483646" << "2147483647" << true;
        QTest::newRow("beyond int is 0") << "1" << "2147483648" << false;
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
        // Listed names in listing order, `@` for the product word; the release chosen; the names superseded.
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("superseded");
        QTest::newRow("typical") << "@.1.10.exe,@.1.9.exe,@.exe" << "@.1.10.exe" << "@.1.9.exe";
        QTest::newRow("nothing listed") << "" << "@.0.0.exe" << "";
        QTest::newRow("equal: later listed") << "@.2.0.exe,@.2.exe" << "@.2.exe" << "@.2.0.exe";
        QTest::newRow("every version below zero") << "@.-1.exe,@.-2.exe" << "@.0.0.exe" << "@.-1.exe,@.-2.exe";
        QTest::newRow("prefix, extension and case dropped") << "pellimantor.1.5.EXE,@Setup.3.1.exe,@.2.0"
                                                            << "@.3.1.exe" << "@.1.5.exe,@.2.exe";
        QTest::newRow("empty parts: leading vanish, trailing stay") << "@..2.exe,@.3..exe" << "@.3..exe" << "@.2.exe";
        QTest::newRow("empty version") << "@..exe" << "@..exe" << "";
        QTest::newRow("backup's version wins the tie") << "@.1.2.3.exe,@.1.2.3.exe.bak" << "@.1.2.3.exe.exe" << "@.1.2.3.exe";
        QTest::newRow("duplicates: superseded twice, kept ones not")
            << "@.1.2.dll,@.1.2.exe,@.3.dll,@.3.exe" << "@.3.exe" << "@.1.2.exe,@.1.2.exe";
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
        const QByteArray mark = markName + "launcher", windows = contents(qEnvironmentVariable("PELLIMANTOR_WINDOWS_LAUNCHER"));
        QTest::newRow("the launcher") << launcher << Mark::Present;
        QTest::newRow("this program, built from the logic") << contents(QCoreApplication::applicationFilePath()) << Mark::Absent;
        QTest::newRow("cut in the ELF header") << launcher.left(40) << Mark::Unknown;
        QTest::newRow("cut in the program headers") << launcher.left(100) << Mark::Unknown;
        QTest::newRow("cut in the mark") << launcher.left(launcher.indexOf(mark) + 16) << Mark::Unknown;
        QTest::newRow("another descriptor") << QByteArray(launcher).replace(mark, markName + "launches") << Mark::Absent;
        QTest::newRow("no ELF class the system runs") << QByteArray(launcher).replace(4, 1, "\3") << Mark::Absent;
        QTest::newRow("32-bit, big-endian") << elf32(note(markName, 0x100, "launcher")) << Mark::Present;
        QTest::newRow("after another note, aligned to 8") << elf32(note("GNU", 5, "1234", 8) + note(markName, 0x100, "launcher", 8), 8)
                                                          << Mark::Present;
        QTest::newRow("another type") << elf32(note(markName, 1, "launcher")) << Mark::Absent;
        QTest::newRow("neither format") << QByteArray("#!/bin/sh\n") << Mark::Absent;
        QTest::newRow("empty") << QByteArray() << Mark::Absent;
        if (windows.isEmpty())
            return;
        const int peHeader = windows.indexOf(QByteArray("PE\0\0", 4));
        QTest::newRow("the Windows launcher") << windows << Mark::Present;
        QTest::newRow("cut before its PE header") << windows.left(peHeader + 2) << Mark::Unknown;
        QTest::newRow("cut in its section table") << windows.left(windows.indexOf(".plmark") + 4) << Mark::Unknown;
        QTest::newRow("cut in its mark") << windows.left(windows.indexOf(mark) + 16) << Mark::Unknown;
        QTest::newRow("the mark in another section") << QByteArray(windows).replace(".plmark", ".plmarx") << Mark::Absent;
        QTest::newRow("an MZ file of another kind") << QByteArray(windows).replace(peHeader, 2, "NE") << Mark::Absent;
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
