// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// Black-box tests in one table: the built launcher runs, given arguments it
// must ignore, in a temporary folder of stand-in releases (standin.c), and each
// row checks what was started and how, what remains in the folder, and that
// the launcher ended by itself, while the release it started still waited,
// with status 1 and no output. The rows cover the reading of listed names and
// the version ordering where they decide which release starts and which go.
// The environment names the programs: PELLIMANTOR_LAUNCHER, PELLIMANTOR_STANDIN
// and PELLIMANTOR_NATIVE_STANDIN. With WINELOADER (and WINEPREFIX) set, the
// same table runs the Windows launcher and stand-ins under Wine; the native
// stand-in is then a release that Wine runs as a Linux program: Windows keeps
// a running release from being deleted, so only such a release shows whether
// the launcher would delete it.

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// Adds a row for both platforms (`only` empty) or for "unix" or "windows" only.
static void row(const char *only, const char *name, const QByteArray &entries, const QByteArray &remaining, const QByteArray &started)
{
    if (!*only || platform == only)
        QTest::newRow(name) << entries << remaining << started;
}

class LauncherTest : public QObject
{
    Q_OBJECT

private slots:
    // Entries: a bare NAME is a stand-in release (the launcher for
    // Pellimantor.exe, which otherwise runs from a folder of its own),
    // "data:NAME" a plain file, "junk:NAME" an executable file in no runnable
    // format, "ro:NAME" a read-only stand-in, "elf:NAME" a native stand-in (in
    // a row that holds one, the release started is a native one), "dir:NAME" a
    // folder, "link:NAME>TARGET" a symbolic link, "hard:NAME>TARGET" a hard
    // link, "self:NAME" a copy of the launcher, "hide:NAME" a stand-in with
    // the Windows hidden attribute (as Wine stores it), and "hold:NAME" a
    // stand-in that another one holds open for writing.
    void run_data()
    {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<QByteArray>("remaining");
        QTest::addColumn<QByteArray>("started");

        row("", "typical", "Pellimantor.exe,Pellimantor.1.9.exe,Pellimantor.1.10.exe", "Pellimantor.1.10.exe,Pellimantor.exe", "Pellimantor.1.10.exe");
        row("", "nothing to start", "Pellimantor.exe,data:Other.2.exe,data:Pellimantor.txt", "Other.2.exe,Pellimantor.exe,Pellimantor.txt", "");
        row("", "launcher elsewhere", "Pellimantor.2.exe", "Pellimantor.2.exe", "Pellimantor.2.exe");
        row("", "equal versions: later listed kept", "Pellimantor.exe,Pellimantor.2.0.exe,Pellimantor.2.exe", "Pellimantor.2.exe,Pellimantor.exe", "Pellimantor.2.exe");
        row("", "longer version, same start, newer", "Pellimantor.1.2.exe,Pellimantor.1.2.0.1.exe", "Pellimantor.1.2.0.1.exe", "Pellimantor.1.2.0.1.exe");
        row("", "word and empty component count as 0", "Pellimantor.1.exe,Pellimantor.beta.exe,Pellimantor.1.x.exe,Pellimantor.1..exe", "Pellimantor.1.x.exe", "Pellimantor.1.x.exe");
        row("", "010 is ten, not octal", "Pellimantor.9.exe,Pellimantor.010.exe", "Pellimantor.010.exe", "Pellimantor.010.exe");
        row("", "sign and blanks around accepted", "Pellimantor.4.exe,Pellimantor. +5 .exe", "Pellimantor. +5 .exe", "Pellimantor. +5 .exe");
        row("", "blank inside, letters, hexadecimal, other digits invalid", "Pellimantor.1.exe,Pellimantor.5 5.exe,Pellimantor.2a.exe,Pellimantor.0x10.exe,Pellimantor.\xd9\xa3.exe", "Pellimantor.1.exe", "Pellimantor.1.exe");
        row("", "largest int newest; beyond int, unsigned range count as 0", "Pellimantor.2147483646.exe,Pellimantor.2147483647.exe,Pellimantor.2147483648.exe,Pellimantor.4294967295.exe,Pellimantor.99999999999999999999.exe", "Pellimantor.2147483647.exe", "Pellimantor.2147483647.exe");
        row("", "beyond int alone is 0, as new as 0.0", "Pellimantor.2147483648.exe", "Pellimantor.2147483648.exe", "Pellimantor.2147483648.exe");
        row("", "below smallest int counts as 0", "Pellimantor.1.-2147483648.exe,Pellimantor.1.-2147483649.exe", "Pellimantor.1.-2147483649.exe", "Pellimantor.1.-2147483649.exe");
        row("", "empty parts: leading vanish, trailing stay", "data:Pellimantor....2.exe,Pellimantor.2.exe,data:Pellimantor.1..exe", "Pellimantor....2.exe,Pellimantor.2.exe", "Pellimantor.2.exe");
        row("", "empty version", "Pellimantor..exe", "Pellimantor..exe", "Pellimantor..exe");
        row("", "removal goes by built names, duplicates once", "data:PellimantorSetup.1.5.exe,data:Pellimantor.1.5.zip,data:Pellimantor.1.5.dll,Pellimantor.1.5.exe,Pellimantor.2.exe", "Pellimantor.1.5.dll,Pellimantor.1.5.zip,Pellimantor.2.exe,PellimantorSetup.1.5.exe", "Pellimantor.2.exe");
        row("unix", "other case is another file", "pellimantor.1.5.EXE,Pellimantor.2.exe", "Pellimantor.2.exe,pellimantor.1.5.EXE", "Pellimantor.2.exe");
        row("unix", "lower-case newest names no file", "Pellimantor.1.exe,pellimantor.2.exe", "Pellimantor.1.exe,pellimantor.2.exe", "");
        row("unix", "case twin is another file", "Pellimantor.1.A.exe,Pellimantor.1.a.exe,data:PellimantorZ.1.A.exe", "Pellimantor.1.A.exe,PellimantorZ.1.A.exe", "Pellimantor.1.A.exe");
        row("windows", "other case superseded", "pellimantor.1.5.EXE,Pellimantor.2.exe", "Pellimantor.2.exe", "Pellimantor.2.exe");
        row("windows", "kept release through another spelling", "elf:Pellimantor.1.A.exe,data:PellimantorZ.1.a.exe", "Pellimantor.1.A.exe,PellimantorZ.1.a.exe", "Pellimantor.1.a.exe");
        row("windows", "kept release through a case only the file system folds", "Pellimantor.0.9.exe,elf:Pellimantor.1.ꟁ.exe,data:Pellimantor.1.Ꟁ.zip", "Pellimantor.1.Ꟁ.zip,Pellimantor.1.ꟁ.exe", "Pellimantor.1.ꟁ.exe");
        row("windows", "superseded release in use stays, the next still goes", "hold:Pellimantor.1.0.exe,Pellimantor.1.5.exe,Pellimantor.2.exe", "Pellimantor.1.0.exe,Pellimantor.2.exe", "Pellimantor.2.exe");
        row("windows", "hidden newest release is not listed", "Pellimantor.1.exe,hide:Pellimantor.2.exe", "Pellimantor.1.exe,Pellimantor.2.exe", "Pellimantor.1.exe");
        row("windows", "hidden release named by a listed installer", "Pellimantor.1.exe,hide:Pellimantor.2.exe,data:PellimantorSetup.2.exe", "Pellimantor.2.exe,PellimantorSetup.2.exe", "Pellimantor.2.exe");
        row("", "kept is missing: backup chosen", "Pellimantor.1.2.3.exe,data:Pellimantor.1.2.3.exe.bak", "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.bak", "");
        row("", "kept is missing: folder chosen", "dir:Pellimantor.2.0,Pellimantor.1.exe", "Pellimantor.1.exe,Pellimantor.2.0", "");
        row("", "kept is a folder", "dir:Pellimantor.4.exe,Pellimantor.3.exe", "Pellimantor.3.exe,Pellimantor.4.exe", "");
        row("", "every version below zero", "Pellimantor.-1.exe,Pellimantor.-2.exe", "Pellimantor.-1.exe,Pellimantor.-2.exe", "");
        row("", "newest is a data file", "Pellimantor.1.exe,data:Pellimantor.2.exe", "Pellimantor.1.exe,Pellimantor.2.exe", "");
        row("", "newest in no runnable format", "Pellimantor.1.exe,junk:Pellimantor.2.exe", "Pellimantor.1.exe,Pellimantor.2.exe", "");
        row("", "newest held open for writing", "Pellimantor.1.exe,hold:Pellimantor.2.exe", "Pellimantor.1.exe,Pellimantor.2.exe", "");
        row("unix", "built name beyond the maximum length", "Pellimantor.2.exe,data:Pellimantor.7." + QByteArray(239, '0') + ".x", "Pellimantor.2.exe,Pellimantor.7." + QByteArray(239, '0') + ".x", "");
        row("", "space in the name is not split", "Pellimantor.1.exe,Pellimantor.2.1,Pellimantor.2.1 2.exe", "Pellimantor.2.1,Pellimantor.2.1 2.exe", "Pellimantor.2.1 2.exe");
        row("unix", "shell metacharacters are plain text", "Pellimantor.3.exe,Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe", "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe", "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe");
        row("windows", "shell metacharacters are plain text", "Pellimantor.3.exe,Pellimantor.4.0;x&y^z%PATH%!(a)'b'=d+[e]{f}.exe", "Pellimantor.4.0;x&y^z%PATH%!(a)'b'=d+[e]{f}.exe", "Pellimantor.4.0;x&y^z%PATH%!(a)'b'=d+[e]{f}.exe");
        row("unix", "control characters; invalid UTF-8 is no candidate", "Pellimantor.1.\n\t\x1b.exe,Pellimantor.9.\xff.exe,Pellimantor.2.\x01\r.exe", "Pellimantor.2.\x01\r.exe,Pellimantor.9.\xff.exe", "Pellimantor.2.\x01\r.exe");
        row("unix", "read-only releases", "ro:Pellimantor.1.exe,ro:Pellimantor.2.exe", "Pellimantor.2.exe", "Pellimantor.2.exe");
        row("", "kept release is a link to a superseded one", "Pellimantor.1.exe,elf:Pellimantor.2.exe,link:Pellimantor.3.exe>Pellimantor.2.exe", "Pellimantor.2.exe,Pellimantor.3.exe", "Pellimantor.3.exe");
        row("", "superseded name is a link to the kept release", "link:Pellimantor.2.exe>Pellimantor.3.exe,elf:Pellimantor.3.exe", "Pellimantor.2.exe,Pellimantor.3.exe", "Pellimantor.3.exe");
        row("", "superseded folder named like a release stays, the next still goes", "dir:Pellimantor.1.0.exe,data:Pellimantor.1.0.exe/inside,Pellimantor.1.5.exe,Pellimantor.2.exe", "Pellimantor.1.0.exe,Pellimantor.1.0.exe/inside,Pellimantor.2.exe", "Pellimantor.2.exe");
        row("unix", "unlisted dangling link named by a listed name goes", "link:Pellimantor.1.exe>missing,data:PellimantorSetup.1.exe,Pellimantor.2.exe", "Pellimantor.2.exe,PellimantorSetup.1.exe", "Pellimantor.2.exe");
        row("unix", "equal versions: later in the listing that ignores case", "Pellimantor.2.exe,pellimantor.2.0.exe", "Pellimantor.2.exe,pellimantor.2.0.exe", "Pellimantor.2.exe");
        row("", "newest is the launcher: symbolic link", "Pellimantor.exe,Pellimantor.1.exe,link:Pellimantor.9.exe>Pellimantor.exe", "Pellimantor.1.exe,Pellimantor.9.exe,Pellimantor.exe", "");
        row("", "newest is the launcher: hard link", "Pellimantor.exe,Pellimantor.1.exe,hard:Pellimantor.9.exe>Pellimantor.exe", "Pellimantor.1.exe,Pellimantor.9.exe,Pellimantor.exe", "");
        row("", "newest is a copy of the launcher", "Pellimantor.1.exe,self:Pellimantor.9.exe", "Pellimantor.1.exe,Pellimantor.9.exe", "");
        row("unix", "links: the link may go, never its target", "dir:outside,data:outside/old,outside/new,link:Pellimantor.1.exe>outside/old,link:Pellimantor.2.exe>missing,link:Pellimantor.3.exe>outside/new", "Pellimantor.2.exe,Pellimantor.3.exe,outside,outside/new,outside/old", "Pellimantor.3.exe");
        row("unix", "link to a folder as newest", "dir:outside,link:Pellimantor.5.exe>outside,Pellimantor.2.exe", "Pellimantor.2.exe,Pellimantor.5.exe,outside", "");
    }

    void run()
    {
        QFETCH(QByteArray, entries);
        QFETCH(QByteArray, remaining);
        QFETCH(QByteArray, started);
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), "cannot make a temporary folder");
        const QByteArray base = QFile::encodeName(QFileInfo(dir.path()).canonicalFilePath()), folder = base + "/folder";
        const QByteArrayList made = entries.split(',');
        const QByteArray home = made.contains("Pellimantor.exe") ? folder : base + "/home";
        const QByteArray launcher = contents(qEnvironmentVariable("PELLIMANTOR_LAUNCHER")),
                         standin = contents(qEnvironmentVariable("PELLIMANTOR_STANDIN"));
        QVERIFY(::mkdir(folder, 0755) == 0 && ::mkdir(base + "/home", 0755) == 0);
        // Qt cannot remove names that do not decode; the stand-ins end once the folder is gone.
        const auto cleanup = qScopeGuard([&] { QProcess::execute("rm", {"-rf", dir.path()}); });
        // The programs started inherit these; Windows programs read these Linux
        // paths on the drive they run from (Z:).
        qputenv("PELLIMANTOR_STANDIN_LOG", base + "/log");
        qputenv("PELLIMANTOR_STANDIN_GATE", base);
        QProcess holder, launched;
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
        for (const QByteArray &entry : made) {
            const QByteArray kind = entry.contains(':') ? entry.left(entry.indexOf(':')) : QByteArray();
            const QByteArray path = folder + '/' + entry.mid(entry.indexOf(':') + 1).split('>').first(),
                             target = entry.mid(entry.indexOf('>') + 1);
            if (kind == "dir")
                QVERIFY(::mkdir(path, 0755) == 0);
            else if (kind == "link" || kind == "hard")
                QVERIFY((kind == "link" ? ::symlink(target, path) : ::link(folder + '/' + target, path)) == 0);
            else if (kind == "self")
                QVERIFY(writeFile(path, launcher, 0755));
            else if (kind == "data" || kind == "junk")
                QVERIFY(writeFile(path, "data", kind == "data" ? 0644 : 0755));
            else if (path != home + "/Pellimantor.exe")
                QVERIFY(writeFile(path, kind == "elf" ? contents(qEnvironmentVariable("PELLIMANTOR_NATIVE_STANDIN")) : standin, kind == "ro" ? 0555 : 0755));
            if (kind == "hide")
                QVERIFY(::setxattr(path, "user.DOSATTRIB", "0x2", 3, 0) == 0);
            if (kind == "hold")
                start(&holder, {QFile::decodeName(base + "/holder.exe"), QFile::decodeName(path)});
        }
        // The holding stand-in holds the file once it has written its line.
        QTRY_COMPARE_WITH_TIMEOUT(log().count('\n'), int(entries.contains("hold:")), 10000);
        const QByteArray before = log();

        start(&launched, {QFile::decodeName(home + "/Pellimantor.exe"), "--help", "Pellimantor.1.exe", "a b"});
        QVERIFY2(launched.waitForFinished(20000), "the launcher did not end by itself within 20 s");
        QCOMPARE(launched.exitStatus() == QProcess::NormalExit ? launched.exitCode() : -1, 1);
        QCOMPARE(launched.readAll() + launched.readAllStandardError(), QByteArray());
        // Wine shows the Linux root to Windows programs as drive Z:.
        const QByteArray record = (platform == "windows" && !asLinux ? "Z:" + QByteArray(folder).replace('/', '\\') : folder) + " | "
            + (platform == "windows" ? ".\\" : "./") + started;
        const QByteArray expected = before + (started.isEmpty() ? QByteArray() : record + '\n');
        // A start shows within 10 s; a start that should not happen, or a
        // second one, is given time to show.
        QTRY_COMPARE_WITH_TIMEOUT(log(), expected, 10000);
        QThread::msleep(started.isEmpty() ? (platform == "windows" ? 2000 : 700) : 300);
        QCOMPARE(log(), expected);
        // find names what Qt cannot decode as it is.
        QProcess find;
        find.start("find", {QFile::decodeName(folder), "-mindepth", "1", "-printf", "%P,"});
        QVERIFY2(find.waitForFinished(), "find did not end");
        QCOMPARE(sortedNames(find.readAll()), sortedNames(remaining));
    }
};

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
