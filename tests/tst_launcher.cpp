// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The launcher's logic in process, one slot per behaviour and one row per
// case: the version order, the choice among listed names, and the reading of
// the launcher's mark from the launchers the environment names
// (PELLIMANTOR_LAUNCHER, PELLIMANTOR_WINDOWS_LAUNCHER), changed here, and from
// ELF files made here. Then black-box tests in one table (`run`): the built
// launcher runs, given arguments it
// must ignore, in a temporary folder of stand-in releases (standin.c), and each
// row checks what was started, what remains in the folder, and that the
// launcher ended by itself with status 1 and no output while the release it
// started still waited. The environment names the programs:
// PELLIMANTOR_LAUNCHER (and PELLIMANTOR_PLAIN_LAUNCHER, the same built without
// sanitizers), PELLIMANTOR_STANDIN and PELLIMANTOR_NATIVE_STANDIN.
// With WINELOADER set, the same table runs the Windows launcher and stand-ins
// under Wine; a native stand-in is then a release that Wine runs as a Linux
// program, which Windows rules do not keep from being deleted.

#include "discovery.h"
#include "mark.h"
#include "version_order.h"

#include <QtTest>

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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
        + QByteArray("\0\x20\0\1", 4) + QByteArray(6, '\0') + QByteArray("\0\0\0\4\0\0\0\x54", 8) + QByteArray(9, '\0')
        + char(notes.size() >> 16) + char(notes.size() >> 8) + char(notes.size()) + QByteArray(11, '\0') + char(align) + notes;
}

// Programs run through Wine when the environment names its loader.
static const QByteArray platform = qEnvironmentVariableIsEmpty("WINELOADER") ? "unix" : "windows";

static bool writeFile(const QByteArray &path, const QByteArray &content, mode_t mode)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, mode);
    const bool written = fd >= 0 && ::write(fd, content.constData(), content.size()) == content.size();
    return ::close(fd) == 0 && written && ::chmod(path, mode) == 0;
}

// The contents of a file; empty if it cannot be read.
static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The names of a comma-separated list, sorted.
static QByteArrayList sortedNames(const QByteArray &list)
{
    QByteArrayList names = list.split(',');
    names.removeAll(QByteArray());
    std::sort(names.begin(), names.end());
    return names;
}

// The program header of the first segment of `type` with `flags` in an ELF program.
static Elf64_Phdr *segment(QByteArray *program, quint32 type, quint32 flags = 0)
{
    const auto header = reinterpret_cast<const Elf64_Ehdr *>(program->data());
    const auto segments = reinterpret_cast<Elf64_Phdr *>(program->data() + header->e_phoff);
    return std::find_if(segments, segments + header->e_phnum,
                        [&](const Elf64_Phdr &s) { return s.p_type == type && (s.p_flags & flags) == flags; });
}

// Adds a row for both platforms (`only` empty) or for "unix" or "windows" only.
static void row(const char *only, const char *name, const QByteArray &entries, const QByteArray &started,
                const QByteArray &route = QByteArray())
{
    if (!*only || platform == only)
        QTest::newRow(name) << QByteArray(entries).replace('@', "Pellimantor")
                            << QByteArray(started).replace('@', "Pellimantor") << route;
}

// How the launcher is started: directly; in a mount namespace whose /proc is
// empty; through the dynamic loader by name; from a descriptor (fexecve);
// with a library preloaded that swaps the release as it starts; under Wine by
// a \\?\unix\ path.
static QStringList routed(const QByteArray &route, const QString &launcher)
{
    if (route == "fexecve")
        return {"python3", "-c", "import os, sys; os.execve(os.open(sys.argv[1], os.O_RDONLY), sys.argv[1:], os.environ)", launcher};
    if (route == "swap")
        return {"env", "LD_PRELOAD=" + qEnvironmentVariable("PELLIMANTOR_SWAP"), launcher};
    if (route == "noproc")
        return {"unshare", "-Urm", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" \"$@\"", launcher};
    if (route == "loader")
        return {"/lib64/ld-linux-x86-64.so.2", launcher};
    if (route == "unixpath")
        return {"\\\\?\\unix" + QString(launcher).replace('/', '\\')};
    return {launcher};
}

class LauncherTest : public QObject
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
        QTest::newRow("the kept text taken twice, another equal one between") << "@.2.a,@.2.0.b,@.2.c" << "@.2.exe" << "@.2.0.exe";
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
        QTest::newRow("this test program, built from the logic") << contents(QCoreApplication::applicationFilePath()) << Mark::Absent;
        QTest::newRow("cut in the ELF header") << launcher.left(40) << Mark::Unknown;
        QTest::newRow("cut in the program headers") << launcher.left(100) << Mark::Unknown;
        QTest::newRow("cut in the mark") << launcher.left(launcher.indexOf(mark) + 16) << Mark::Unknown;
        QTest::newRow("another descriptor") << QByteArray(launcher).replace(mark, markName + "launches") << Mark::Absent;
        QTest::newRow("class and byte order bytes changed") << QByteArray(launcher).replace(4, 2, "\3\2") << Mark::Present;

        QTest::newRow("32-bit, big-endian") << elf32(note(markName, 0x50454c4c, "launcher")) << Mark::Present;
        QTest::newRow("after another note, aligned to 8") << elf32(note("GNU", 5, "1234", 8) + note(markName, 0x50454c4c, "launcher", 8), 8)
                                                          << Mark::Present;
        QTest::newRow("after a note whose size was changed") << elf32(note("GNU", 3, "1234").replace(7, 1, "\5") + note(markName, 0x50454c4c, "launcher"))
                                                             << Mark::Present;
        QTest::newRow("another type") << elf32(note(markName, 1, "launcher")) << Mark::Absent;
        QTest::newRow("notes over 1 MiB") << elf32(QByteArray(1 << 20, '\0') + note(markName, 1, "launcher")) << Mark::Unknown;
        QTest::newRow("neither format") << QByteArray("#!/bin/sh\n") << Mark::Absent;
        QTest::newRow("empty") << QByteArray() << Mark::Absent;
        if (windows.isEmpty())
            return;
        const int peHeader = windows.indexOf(QByteArray("PE\0\0", 4));
        QTest::newRow("the Windows launcher") << windows << Mark::Present;
        QTest::newRow("cut before its PE header") << windows.left(peHeader + 2) << Mark::Unknown;
        QTest::newRow("cut in its section table") << windows.left(windows.indexOf(".plmark") + 4) << Mark::Unknown;
        QTest::newRow("cut in its mark") << windows.left(windows.indexOf(mark) + 16) << Mark::Unknown;
        QTest::newRow("its mark's section renamed") << QByteArray(windows).replace(".plmark", ".plmarx") << Mark::Present;
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
    void run_data()
    {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<QByteArray>("started");
        QTest::addColumn<QByteArray>("route");

        // --- Choice of the newest release
        row("", "typical", "@.exe,-@.1.9.exe,@.1.10.exe", "@.1.10.exe");
        row("", "nothing to start", "@.exe,data:Other.2.exe,data:@.txt", "");
        row("", "launcher elsewhere", "@.2.exe", "@.2.exe");
        row("", "equal versions: later listed kept", "@.exe,-@.2.0.exe,@.2.exe", "@.2.exe");
        row("unix", "equal versions: later in the listing that ignores case", "@.2.exe,pellimantor.2.0.exe", "@.2.exe");

        // --- Names: letter case, spaces, metacharacters, encodings
        row("unix", "other case is another file", "pellimantor.1.5.EXE,@.2.exe", "@.2.exe");
        row("unix", "lower-case newest names no file", "@.1.exe,pellimantor.2.exe", "");
        row("unix", "case twin is another file", "@.1.A.exe,-@.1.a.exe,data:@Z.1.A.exe", "@.1.A.exe");
        row("windows", "other case superseded", "-pellimantor.1.5.EXE,@.2.exe", "@.2.exe");
        row("windows", "kept release through another spelling", "elf:@.1.A.exe,data:@Z.1.a.exe", "@.1.a.exe");
        row("windows", "kept release through a case only the file system folds",
            "-@.0.9.exe,elf:@.1.ꟁ.exe,data:@.1.Ꟁ.zip", "@.1.ꟁ.exe");
        row("unix", "built name beyond the maximum length", "@.2.exe,data:@.7." + QByteArray(239, '0') + ".x", "");
        row("", "space in the name is not split", "-@.1.exe,@.2.1,@.2.1 2.exe", "@.2.1 2.exe");
        row("unix", "shell metacharacters are plain text", "-@.3.exe,@.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe",
            "@.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe");
        row("windows", "shell metacharacters are plain text", "-@.3.exe,@.4.0;x&y^z%PATH%!(a)'b'=d+[e]{f}.exe",
            "@.4.0;x&y^z%PATH%!(a)'b'=d+[e]{f}.exe");
        row("unix", "control characters; invalid UTF-8 is no candidate", "-@.1.\n\t\x1b.exe,@.9.\xff.exe,@.2.\x01\r.exe",
            "@.2.\x01\r.exe");

        // --- Removal: what goes, what stays
        row("", "removal goes by built names, duplicates once",
            "data:@Setup.1.5.exe,data:@.1.5.zip,data:@.1.5.dll,-@.1.5.exe,@.2.exe", "@.2.exe");
        row("unix", "read-only releases", "-ro:@.1.exe,ro:@.2.exe", "@.2.exe");
        row("windows", "superseded release in use stays, the next still goes", "hold:@.1.0.exe,-@.1.5.exe,@.2.exe", "@.2.exe");
        row("windows", "hidden newest release is not listed", "@.1.exe,hide:@.2.exe", "@.1.exe");
        row("windows", "hidden release named by a listed installer", "-@.1.exe,hide:@.2.exe,data:@Setup.2.exe", "@.2.exe");
        row("", "superseded folder named like a release stays, the next still goes",
            "dir:@.1.0.exe,data:@.1.0.exe/inside,-@.1.5.exe,@.2.exe", "@.2.exe");
        row("unix", "unlisted dangling link named by a listed name goes",
            "-link:@.1.exe>missing,data:@Setup.1.exe,@.2.exe", "@.2.exe");

        // --- A newest release that cannot start: nothing goes
        row("", "kept is missing: backup chosen", "@.1.2.3.exe,data:@.1.2.3.exe.bak", "");
        row("", "kept is missing: folder chosen", "dir:@.2.0,@.1.exe", "");
        row("", "kept is a folder", "dir:@.4.exe,@.3.exe", "");
        row("", "newest is a data file", "@.1.exe,data:@.2.exe", "");
        row("", "newest in no runnable format", "@.1.exe,junk:@.2.exe", "");
        row("", "newest held open for writing", "@.1.exe,hold:@.2.exe", "");
        row("", "newest already running starts again", "-@.1.exe,run:@.2.exe", "@.2.exe");
        row("unix", "link to a folder as newest", "dir:outside,link:@.5.exe>outside,@.2.exe", "");

        // --- Links
        row("", "kept release is a link to a superseded one", "-@.1.exe,elf:@.2.exe,link:@.3.exe>@.2.exe", "@.3.exe");
        row("", "superseded name is a link to the kept release", "link:@.2.exe>@.3.exe,elf:@.3.exe", "@.3.exe");
        row("unix", "links: the link may go, never its target",
            "dir:outside,data:outside/old,outside/new,-link:@.1.exe>outside/old,link:@.2.exe>missing,link:@.3.exe>outside/new",
            "@.3.exe");

        // --- The newest release is the launcher itself: nothing starts, nothing goes
        row("", "symbolic link", "@.exe,@.1.exe,link:@.9.exe>@.exe", "");
        row("", "hard link", "@.exe,@.1.exe,hard:@.9.exe>@.exe", "");
        row("", "copy", "@.1.exe,self:@.9.exe", "");
        row("unix", "hard link, no /proc", "@.exe,@.1.exe,hard:@.9.exe>@.exe", "", "noproc");
        row("unix", "copy, no /proc", "@.1.exe,self:@.9.exe", "", "noproc");
        row("unix", "hard link, through the loader", "@.exe,@.1.exe,hard:@.9.exe>@.exe", "", "loader");
        row("windows", "hard link, through a \\\\?\\unix path", "@.exe,@.1.exe,hard:@.9.exe>@.exe", "", "unixpath");
        row("unix", "copy, started through fexecve", "@.1.exe,self:@.9.exe", "", "fexecve");
        row("unix", "started through fexecve, a release starts", "-@.1.exe,@.2.exe", "@.2.exe", "fexecve");
        row("unix", "a launcher renamed over the release as it starts", "@.1.exe,swap:@.9.exe", "", "swap");
        // Any build of the launcher, however it was changed, is the launcher
        row("", "a copy with bytes appended", "@.1.exe,more:@.9.exe", "");
        row("unix", "a copy with its last byte changed", "@.1.exe,near:@.9.exe", "");
        row("", "a copy with a header byte changed", "@.1.exe,header:@.9.exe", "");
        row("unix", "a copy whose stack is executable", "@.exe,@.1.exe,execstack:@.9.exe", "");
        row("unix", "a copy with a physical address changed", "@.1.exe,paddr:@.9.exe", "");
        row("unix", "a copy with a build-id byte changed", "@.1.exe,buildid:@.9.exe", "");
        row("unix", "a copy without its build-id", "@.1.exe,objcopy:@.9.exe>--remove-section .note.gnu.build-id", "");
        row("unix", "a copy with its code realigned", "@.1.exe,@.2.exe,objcopy:@.9.exe>--set-section-alignment .text=64", "");
        row("unix", "a copy with its notes realigned", "@.1.exe,objcopy:@.9.exe>--set-section-alignment .note.pellimantor=8", "");
        row("unix", "a copy without its ABI tag", "@.1.exe,objcopy:@.9.exe>--remove-section .note.ABI-tag", "");
        row("unix", "a Debug build", "@.1.exe,@.2.exe,debug:@.9.exe", "");
        row("", "a stripped copy", "@.1.exe,strip:@.9.exe", "");
        row("unix", "a copy with its section header fields cleared", "@.1.exe,sstrip:@.9.exe", "");
        row("unix", "a stripped copy, no /proc", "@.1.exe,strip:@.9.exe", "", "noproc");
        row("unix", "a copy with a byte of its writable data changed", "@.1.exe,wdata:@.9.exe", "");
        row("windows", "a copy signed again, the launcher signed", "@.1.exe,resigned:@.9.exe", "", "signed");
        row("windows", "an unsigned copy, the launcher signed", "@.1.exe,unsigned:@.9.exe", "", "signed");
        // A program without the mark starts, whatever its size.
        row("", "a release of the launcher's size starts", "-@.1.exe,sized:@.9.exe", "@.9.exe");

        // --- No DLL of the launcher's folder runs in it (Wine loads each native first; not
        // version.dll, which Wine's own user32 imports and Wine, knowing no known DLLs, looks up there)
        row("windows", "DLLs Windows looks up beside a program",
            "@.exe,dll:netapi32.dll,dll:userenv.dll,dll:winmm.dll,-@.1.exe,@.2.exe", "@.2.exe");

        // --- Not a regular file as the newest: never read, nothing goes
        row("unix", "FIFO", "@.1.exe,fifo:@.9.exe,data:@Setup.9.txt", "");
        row("unix", "link to a device", "@.1.exe,link:@.9.exe>/dev/null", "");
        row("", "link to a file that claims no size and blocks", "@.1.exe,link:@.9.exe>/proc/kmsg", "");
    }

    void run()
    {
        QFETCH(QByteArray, entries);
        QFETCH(QByteArray, started);
        QFETCH(QByteArray, route);
        if (route == "noproc" && QProcess::execute("unshare", {"-Urm", "true"}) != 0)
            QSKIP("no unprivileged mount namespace here (unshare -Urm) to hide /proc in");
        if (route == "loader" && !QFile::exists("/lib64/ld-linux-x86-64.so.2"))
            QSKIP("no x86-64 dynamic loader at /lib64/ld-linux-x86-64.so.2");
        if (route == "swap" && qEnvironmentVariableIsEmpty("PELLIMANTOR_SWAP"))
            QSKIP("no library to preload into this launcher (statically linked)");
        if (entries.contains("/proc/kmsg") && ::geteuid() != 0)
            QSKIP("/proc/kmsg opens for root only");
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), "cannot make a temporary folder");
        const QByteArray base = QFile::encodeName(QFileInfo(dir.path()).canonicalFilePath()), folder = base + "/folder";
        const QByteArrayList made = entries.split(',');
        const QByteArray home = made.contains("Pellimantor.exe") ? folder : base + "/home";
        // The sanitizers' runtime needs /proc: without it, the launcher built without them.
        const QByteArray launcher = contents(qEnvironmentVariable(route == "noproc" || route == "swap" ? "PELLIMANTOR_PLAIN_LAUNCHER"
                                                                  : route == "signed" ? "PELLIMANTOR_SIGNED_LAUNCHER"
                                                                                      : "PELLIMANTOR_LAUNCHER")),
                         standin = contents(qEnvironmentVariable("PELLIMANTOR_STANDIN"));
        QVERIFY(::mkdir(folder, 0755) == 0 && ::mkdir(base + "/home", 0755) == 0);
        // Qt cannot remove names that do not decode; the stand-ins end once the folder is gone.
        const auto cleanup = qScopeGuard([&] { QProcess::execute("rm", {"-rf", dir.path()}); });
        // The programs started inherit these; Windows programs read these Linux
        // paths on the drive they run from (Z:).
        qputenv("PELLIMANTOR_STANDIN_LOG", base + "/log");
        qputenv("PELLIMANTOR_STANDIN_GATE", base);
        QProcess holder, launched;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        auto log = [&] { return contents(QFile::decodeName(base + "/log")); };
        auto start = [&](QProcess *process, QStringList command) {
            process->setWorkingDirectory(QFile::decodeName(folder));
            process->start(platform == "windows" ? qEnvironmentVariable("WINELOADER") : command.takeFirst(), command);
        };

        // A launcher that runs from a folder of its own finds there a decoy of
        // the release to start: a start from its own folder would show.
        QVERIFY(writeFile(home + "/Pellimantor.exe", launcher, 0755) && writeFile(base + "/holder.exe", standin, 0755));
        const bool asLinux = platform == "windows" && entries.contains("elf:");
        QVERIFY(started.isEmpty() || writeFile(home + '/' + started, standin, 0755));
        QByteArray remaining;
        for (const QByteArray &marked : made) {
            // -ENTRY: an entry that the launcher must remove; every other one must remain.
            const QByteArray entry = marked.startsWith('-') ? marked.mid(1) : marked;
            // KIND:NAME, or a bare NAME: a stand-in release (the launcher for Pellimantor.exe).
            //   data  a plain file                 junk  an executable file in no runnable format
            //   ro    a read-only stand-in         elf   a native stand-in (the release started is native)
            //   dir   a folder                     link  a symbolic link NAME>TARGET; hard a hard link NAME>TARGET
            //   self  a copy of the launcher       near  the same with its last byte changed
            //   more  the same with bytes appended  strip the same stripped (again) by strip
            //   header, buildid  the same with a byte changed in the header where the system
            //         ignores it, in the build-id
            //   sstrip, execstack, paddr  the same with its ELF section header fields cleared, its
            //         stack executable, a physical address moved
            //   wdata the same with a byte of writable data changed
            //   objcopy the same changed by objcopy, given the options NAME>OPTIONS
            //   debug the launcher built unoptimised, with debugging information
            //   swap  a stand-in, over which a copy of the launcher is renamed as it starts
            //   dll   the DLL that records its loading, native first under Wine
            //   resigned, unsigned  the launcher signed again, unsigned (for the route "signed")
            //   fifo  a FIFO
            //   sized a stand-in padded to the launcher's size
            //   hide  a stand-in with the Windows hidden attribute (as Wine stores it)
            //   hold  a stand-in that another one holds open for writing; run  a stand-in running
            const QByteArray kind = entry.contains(':') ? entry.left(entry.indexOf(':')) : QByteArray();
            const QByteArray name = entry.mid(entry.indexOf(':') + 1).split('>').first(), path = folder + '/' + name,
                             target = entry.mid(entry.indexOf('>') + 1);
            if (entry == marked)
                remaining += name + ',';
            QByteArray near = launcher;
            const auto flip = [&](qint64 at) { near[int(at)] = char(~near[int(at)]); };
            if (kind == "sstrip") // e_shoff; e_shentsize, e_shnum, e_shstrndx
                near.replace(0x28, 8, QByteArray(8, '\0')).replace(0x3a, 6, QByteArray(6, '\0'));
            else if (kind == "near")
                flip(near.size() - 1);
            else if (kind == "header") // in ELF's identification; in the DOS stub
                flip(platform == "unix" ? EI_PAD : 0x4e);
            else if (kind == "buildid") // the first byte after a note's type 3 and name "GNU"
                flip(near.indexOf(QByteArray("\3\0\0\0GNU\0", 8)) + 8);
            else if (kind == "wdata")
                flip(segment(&near, PT_LOAD, PF_W)->p_offset + segment(&near, PT_LOAD, PF_W)->p_filesz - 1);
            else if (kind == "execstack")
                segment(&near, PT_GNU_STACK)->p_flags |= PF_X;
            else if (kind == "paddr")
                segment(&near, PT_LOAD)->p_paddr += 0x1000;
            QVERIFY2(kind != "buildid" || near.contains(QByteArray("\3\0\0\0GNU\0", 8)), "the launcher has no build-id");
            if (kind == "swap") {
                environment.insert("PELLIMANTOR_SWAP_FROM", QFile::decodeName(base + "/incoming"));
                environment.insert("PELLIMANTOR_SWAP_TO", QFile::decodeName(path));
                QVERIFY(writeFile(base + "/incoming", launcher, 0755));
            }
            if (kind == "dll") {
                environment.insert("WINEDLLOVERRIDES", environment.value("WINEDLLOVERRIDES") + ';' + name.left(name.indexOf('.')) + "=n,b");
                QVERIFY(writeFile(path, contents(qEnvironmentVariable("PELLIMANTOR_PLANTED")), 0755));
            } else if (kind == "dir")
                QVERIFY(::mkdir(path, 0755) == 0);
            else if (kind == "link" || kind == "hard")
                QVERIFY((kind == "link" ? ::symlink(target, path) : ::link(folder + '/' + target, path)) == 0);
            else if (QByteArrayList{"self", "near", "header", "buildid", "wdata", "execstack", "paddr", "sstrip", "more"}.contains(kind))
                QVERIFY(writeFile(path, kind == "more" ? launcher + "appended" : near, 0755));
            else if (kind == "strip" || kind == "objcopy")
                QVERIFY(writeFile(path, launcher, 0755)
                        && QProcess::execute(kind, QString(kind == "objcopy" ? target : "").split(' ', Qt::SkipEmptyParts)
                                                       << QFile::decodeName(path)) == 0);
            else if (kind == "debug")
                QVERIFY(writeFile(path, contents(qEnvironmentVariable("PELLIMANTOR_PLAIN_LAUNCHER")), 0755));
            else if (kind == "resigned" || kind == "unsigned")
                QVERIFY(writeFile(path, contents(qEnvironmentVariable(kind == "resigned" ? "PELLIMANTOR_RESIGNED_LAUNCHER"
                                                                                          : "PELLIMANTOR_LAUNCHER")), 0755));
            else if (kind == "fifo")
                QVERIFY(::mkfifo(path, 0755) == 0);
            else if (kind == "sized")
                QVERIFY(writeFile(path, standin + QByteArray(launcher.size() - standin.size(), '\0'), 0755));
            else if (kind == "data" || kind == "junk")
                QVERIFY(writeFile(path, "data", kind == "data" ? 0644 : 0755));
            else if (path != home + "/Pellimantor.exe")
                QVERIFY(writeFile(path, kind == "elf" ? contents(qEnvironmentVariable("PELLIMANTOR_NATIVE_STANDIN"))
                                                      : standin, kind == "ro" ? 0555 : 0755));
            if (kind == "hide")
                QVERIFY(::setxattr(path, "user.DOSATTRIB", "0x2", 3, 0) == 0);
            if (kind == "hold" || kind == "run")
                start(&holder, QStringList(QFile::decodeName(kind == "hold" ? base + "/holder.exe" : path))
                                   << (kind == "hold" ? QStringList(QFile::decodeName(path)) : QStringList()));
        }
        // The holding or running stand-in holds the file once it has written its line.
        QTRY_COMPARE_WITH_TIMEOUT(log().count('\n'), int(entries.contains("hold:") || entries.contains("run:")), 10000);
        const QByteArray before = log();

        launched.setProcessEnvironment(environment);
        launched.setStandardOutputFile(QFile::decodeName(base + "/output"), QIODevice::Append);
        launched.setStandardErrorFile(QFile::decodeName(base + "/output"), QIODevice::Append);
        start(&launched, routed(route, QFile::decodeName(home + "/Pellimantor.exe")) << "--help" << "Pellimantor.1.exe"
                                                                                    << "a b");
        QVERIFY2(launched.waitForFinished(20000), "the launcher did not end by itself within 20 s");
        const int status = launched.exitStatus() == QProcess::NormalExit ? launched.exitCode() : -1;
        // A crash report (Wine's names the program) goes on after its first line: it is kept whole.
        const QString output = QFile::decodeName(base + "/output");
        if (status != 1 || QFileInfo(output).size() > 0)
            QThread::sleep(5);
        // Under Wine, its loader's own lines about a program the launcher tried to start (which
        // inherits the launcher's streams) are Wine's, not the launcher's: shown, not failed.
        QByteArray printed;
        for (const QByteArray &line : contents(output).split('\n')) {
            if (platform == "windows" && status == 1 && line.startsWith("wine: "))
                qWarning("Wine printed: %s", line.constData());
            else
                printed += line;
        }
        QVERIFY2(status == 1 && printed.isEmpty(), "expected status 1 and no output; status "
                 + QByteArray::number(status) + ", output: " + contents(output));
        // Wine shows the Linux root to Windows programs as drive Z:.
        const QByteArray record = (platform == "windows" && !asLinux ? "Z:" + QByteArray(folder).replace('/', '\\')
                                                                     : folder)
            + " | " + (platform == "windows" ? ".\\" : "./") + started;
        const QByteArray expected = before + (started.isEmpty() ? QByteArray() : record + '\n');
        // The evidence: the started release's record, or, for none, the
        // launcher's end and a while for a late start (longer under Wine) to show.
        if (started.isEmpty())
            QThread::msleep(platform == "windows" ? 1500 : 300);
        QTRY_COMPARE_WITH_TIMEOUT(log(), expected, 10000);
        // find names what Qt cannot decode as it is.
        QProcess find;
        find.start("find", {QFile::decodeName(folder), "-mindepth", "1", "-printf", "%P,"});
        QVERIFY2(find.waitForFinished(), "find did not end");
        QCOMPARE(sortedNames(find.readAll()), sortedNames(remaining));
    }
};

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
