// Black-box tests: the built launcher runs in a temporary folder of stand-in
// releases (standin.c), and each row checks what remains in the folder, what
// was started and how, and that the launcher ended by itself, while the
// release it started still waited, with status 1 and no output. The
// environment names the programs (PELLIMANTOR_LAUNCHER, PELLIMANTOR_STANDIN).
// Built with TARGET_WINDOWS, the same table runs the Windows launcher and
// stand-ins under Wine, in the WINEPREFIX that the environment names.

#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef TARGET_WINDOWS
static const QByteArray platform = "windows";
#else
static const QByteArray platform = "unix";
#endif
static const bool windows = platform == "windows";
using Records = QList<QByteArrayList>;

class LauncherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void run_data();
    void run();

private:
    bool makeEntry(const QByteArray &entry);
    QProcess *start(QStringList command, const QByteArray &hold = {});
    Records records(int expected, int graceMs) const;
    QByteArrayList expectedStart(const QByteArray &name) const;

    QByteArray launcher, standin, folder, mode;
    std::unique_ptr<QTemporaryDir> folderDir, decoys, logs;
    QList<QProcess *> processes;
};

// A path as the programs under test see it: Wine shows the Unix root as drive Z:.
static QString hostPath(const QString &path)
{
    return windows ? QStringLiteral("Z:") + QDir::toNativeSeparators(path) : path;
}

static bool writeFile(const QByteArray &path, const QByteArray &content, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    const bool written = fd >= 0 && ::write(fd, content.constData(), content.size()) == content.size();
    return ::close(fd) == 0 && written && ::chmod(path.constData(), mode) == 0;
}

// Every name below `directory` as raw bytes ("sub/name" inside folders), sorted.
static QByteArrayList listing(const QByteArray &directory, const QByteArray &prefix = {})
{
    QByteArrayList names;
    DIR *dir = ::opendir(directory + '/' + prefix);
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name = prefix + entry->d_name;
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            names += entry->d_type == DT_DIR ? QByteArrayList{name} + listing(directory, name + '/') : QByteArrayList{name};
    }
    if (dir)
        ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A row's list: comma-separated, each name percent-encoded where it holds odd bytes.
static QByteArrayList names(const QByteArray &text)
{
    QByteArrayList names;
    for (const QByteArray &name : text.split(','))
        if (!name.isEmpty())
            names.append(QByteArray::fromPercentEncoding(name));
    return names;
}

static QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void LauncherTest::initTestCase()
{
    launcher = readAll(qEnvironmentVariable("PELLIMANTOR_LAUNCHER"));
    standin = readAll(qEnvironmentVariable("PELLIMANTOR_STANDIN"));
    QVERIFY2(!launcher.isEmpty() && !standin.isEmpty(), "PELLIMANTOR_LAUNCHER and PELLIMANTOR_STANDIN must name the programs");
    if (windows)
        QVERIFY2(QProcess::execute(QStringLiteral("wineboot"), {QStringLiteral("--init")}) == 0, "wineboot --init failed");
}

void LauncherTest::cleanupTestCase()
{
    // Wine's server would otherwise linger after the last test.
    if (windows)
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
}

void LauncherTest::init()
{
    folderDir.reset(new QTemporaryDir);
    decoys.reset(new QTemporaryDir);
    logs.reset(new QTemporaryDir);
    QVERIFY2(folderDir->isValid() && decoys->isValid() && logs->isValid(), "cannot make temporary folders");
    folder = QFile::encodeName(folderDir->path());
    mode.clear();
    // Rows run as an unprivileged user reach the launcher, the decoys and the log.
    QVERIFY(::chmod(QFile::encodeName(decoys->path()), 0755) == 0 && ::chmod(QFile::encodeName(logs->path()), 0777) == 0);
}

void LauncherTest::cleanup()
{
    // The gate lets every stand-in end; Qt cannot remove names that do not decode.
    QFile(logs->filePath(QStringLiteral("gate"))).open(QIODevice::WriteOnly);
    for (QProcess *process : qAsConst(processes))
        process->waitForFinished(30000);
    qDeleteAll(processes);
    processes.clear();
    ::chmod(folder, 0755);
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), folderDir->path()});
}

// Starts `command` in the folder with the stand-ins' environment, the decoys
// first on the search path, and a file for the stand-in to hold open if given.
QProcess *LauncherTest::start(QStringList command, const QByteArray &hold)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_LOG"), hostPath(logs->filePath(QStringLiteral("log"))));
    environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_GATE"), hostPath(logs->filePath(QStringLiteral("gate"))));
    if (!hold.isEmpty())
        environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_HOLD"), hostPath(QFile::decodeName(hold)));
    environment.insert(QStringLiteral("PATH"), decoys->path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("WINEPATH"), hostPath(decoys->path()));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    processes.append(new QProcess);
    processes.last()->setProcessEnvironment(environment);
    processes.last()->setWorkingDirectory(folderDir->path());
    if (windows)
        command.prepend(QStringLiteral("wine"));
    processes.last()->start(command.takeFirst(), command);
    return processes.last();
}

// A bare NAME is a stand-in release (the launcher itself for Pellimantor.exe),
// "data:NAME" a plain file, "junk:NAME" an executable file in no runnable
// format, "ro:NAME" a read-only stand-in, "dir:NAME" a folder, "link:NAME>TARGET"
// a symbolic link, "hold:NAME" a stand-in that another stand-in holds open for
// writing, "run:NAME" a stand-in already running, "mode:OCTAL" the folder's
// permissions for the run (as an unprivileged user) and "mode:gone" a working
// folder removed before the launcher starts.
bool LauncherTest::makeEntry(const QByteArray &entry)
{
    const QByteArray kind = entry.contains(':') ? entry.left(entry.indexOf(':')) : QByteArray();
    const QByteArrayList parts = entry.mid(entry.indexOf(':') + 1).split('>');
    const QByteArray path = folder + '/' + parts.first();
    const QByteArray program = parts.first() == "Pellimantor.exe" ? launcher : standin;
    if (kind == "mode")
        return !(mode = parts.first()).isEmpty();
    if (kind == "dir")
        return ::mkdir(path, 0755) == 0;
    if (kind == "link")
        return ::symlink(parts.value(1), path) == 0;
    if (kind == "data" || kind == "junk")
        return writeFile(path, "data", kind == "data" ? 0644 : 0755);
    if (!writeFile(path, program, kind == "ro" ? 0555 : 0755))
        return false;
    if (kind == "hold")
        start({logs->filePath(QStringLiteral("holder.exe"))}, path);
    else if (kind == "run")
        start({QFile::decodeName(path)});
    return true;
}

// The stand-ins' records once the log holds `expected` (30 s at most), and
// again `graceMs` later, so that a start that should not happen can show.
Records LauncherTest::records(int expected, int graceMs) const
{
    auto read = [this] {
        Records found;
        QByteArray log = readAll(logs->filePath(QStringLiteral("log")));
        log.chop(1);
        for (const QByteArray &field : log.split('\0')) {
            if (field == "started")
                found.append(QByteArrayList());
            else if (!found.isEmpty())
                found.last().append(field);
        }
        return found;
    };
    for (QDeadlineTimer deadline(30000); read().size() < expected && !deadline.hasExpired();)
        QThread::msleep(5);
    QThread::msleep(graceMs);
    return read();
}

// What the stand-in `name` of the folder records when the launcher starts it:
// its own path (links resolved on Unix), the folder, and how it was called.
QByteArrayList LauncherTest::expectedStart(const QByteArray &name) const
{
    if (windows) {
        // Qt quotes a program path that holds a space and ends the command line with a space.
        QString call = QStringLiteral(".\\") + QString::fromUtf8(name);
        call = name.contains(' ') ? QLatin1Char('"') + call + QStringLiteral("\" ") : call + QLatin1Char(' ');
        return {hostPath(QFile::decodeName(folder + '/' + name)).toUtf8().toLower(), hostPath(folderDir->path()).toUtf8(),
                call.toUtf8()};
    }
    char self[PATH_MAX], here[PATH_MAX];
    const bool resolved = ::realpath(folder + '/' + name, self) && ::realpath(folder, here);
    return {resolved ? self : "(no path)", here, "./" + name};
}

// Adds a row for both platforms (`only` empty) or for "unix" or "windows" only.
static void row(const char *only, const char *name, const QByteArray &entries, const QByteArray &arguments,
                const QByteArray &remaining, const QByteArray &started)
{
    if (!*only || platform == only)
        QTest::newRow(name) << entries << arguments << remaining << started;
}

void LauncherTest::run_data()
{
    QTest::addColumn<QByteArray>("entries");
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<QByteArray>("remaining");
    QTest::addColumn<QByteArray>("started");

    const QByteArray longest = "Pellimantor.3." + QByteArray(237, '0') + ".exe";
    const QByteArray beyondLongest = "Pellimantor.7." + QByteArray(239, '0') + ".x";
    row("", "typical", "Pellimantor.exe,Pellimantor.1.9.exe,Pellimantor.1.10.exe", "", "Pellimantor.1.10.exe,Pellimantor.exe", "Pellimantor.1.10.exe");
    row("", "arguments ignored", "Pellimantor.exe,Pellimantor.1.9.exe,Pellimantor.1.10.exe", "--help,Pellimantor.1.9.exe,a b", "Pellimantor.1.10.exe,Pellimantor.exe", "Pellimantor.1.10.exe");
    row("", "nothing to start", "Pellimantor.exe,data:Other.2.exe,data:Pellimantor.txt", "", "Other.2.exe,Pellimantor.exe,Pellimantor.txt", "");
    row("", "launcher elsewhere", "Pellimantor.2.exe", "", "Pellimantor.2.exe", "Pellimantor.2.exe");
    row("", "launcher elsewhere, nothing here", "", "", "", "");
    row("", "equal versions: later listed kept", "Pellimantor.exe,Pellimantor.2.0.exe,Pellimantor.2.exe", "", "Pellimantor.2.exe,Pellimantor.exe", "Pellimantor.2.exe");
    row("", "removal goes by built names", "data:PellimantorSetup.1.5.exe,data:Pellimantor.1.5.zip,Pellimantor.1.5.exe,Pellimantor.2.exe", "", "Pellimantor.1.5.zip,Pellimantor.2.exe,PellimantorSetup.1.5.exe", "Pellimantor.2.exe");
    row("", "duplicates removed once", "data:Pellimantor.1.2.dll,Pellimantor.1.2.exe,Pellimantor.1.3.exe", "", "Pellimantor.1.2.dll,Pellimantor.1.3.exe", "Pellimantor.1.3.exe");
    row("unix", "other case is another file", "pellimantor.1.5.EXE,Pellimantor.2.exe", "", "Pellimantor.2.exe,pellimantor.1.5.EXE", "Pellimantor.2.exe");
    row("unix", "lower-case newest names no file", "Pellimantor.1.exe,pellimantor.2.exe", "", "Pellimantor.1.exe,pellimantor.2.exe", "");
    row("unix", "case twin is another file", "Pellimantor.1.A.exe,Pellimantor.1.a.exe,data:PellimantorZ.1.A.exe", "", "Pellimantor.1.A.exe,PellimantorZ.1.A.exe", "Pellimantor.1.A.exe");
    row("windows", "other case superseded", "pellimantor.1.5.EXE,Pellimantor.2.exe", "", "Pellimantor.2.exe", "Pellimantor.2.exe");
    row("windows", "kept release through another spelling", "Pellimantor.1.A.exe,data:PellimantorZ.1.a.exe", "", "Pellimantor.1.A.exe,PellimantorZ.1.a.exe", "Pellimantor.1.a.exe");
    row("windows", "kept release through a case only the file system folds", "Pellimantor.0.9.exe,Pellimantor.1.ꟁ.exe,data:Pellimantor.1.Ꟁ.zip", "", "Pellimantor.1.Ꟁ.zip,Pellimantor.1.ꟁ.exe", "Pellimantor.1.ꟁ.exe");
    row("windows", "running superseded release stays", "run:Pellimantor.1.exe,Pellimantor.1.5.exe,Pellimantor.2.exe", "", "Pellimantor.1.exe,Pellimantor.2.exe", "Pellimantor.2.exe");
    row("", "kept is missing: backup chosen", "Pellimantor.1.2.3.exe,data:Pellimantor.1.2.3.exe.bak", "", "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.bak", "");
    row("", "kept is missing: folder chosen", "dir:Pellimantor.2.0,Pellimantor.1.exe", "", "Pellimantor.1.exe,Pellimantor.2.0", "");
    row("", "kept is a folder", "dir:Pellimantor.4.exe,Pellimantor.3.exe", "", "Pellimantor.3.exe,Pellimantor.4.exe", "");
    row("", "every version below zero", "Pellimantor.-1.exe,Pellimantor.-2.exe", "", "Pellimantor.-1.exe,Pellimantor.-2.exe", "");
    row("", "newest is a data file", "Pellimantor.1.exe,data:Pellimantor.2.exe", "", "Pellimantor.1.exe,Pellimantor.2.exe", "");
    row("", "newest in no runnable format", "Pellimantor.1.exe,junk:Pellimantor.2.exe", "", "Pellimantor.1.exe,Pellimantor.2.exe", "");
    row("", "newest held open for writing", "Pellimantor.1.exe,hold:Pellimantor.2.exe", "", "Pellimantor.1.exe,Pellimantor.2.exe", "");
    row("", "space in the name is not split", "Pellimantor.1.exe,Pellimantor.2.1,Pellimantor.2.1 2.exe", "", "Pellimantor.2.1,Pellimantor.2.1 2.exe", "Pellimantor.2.1 2.exe");
    row("unix", "shell metacharacters are plain text", "Pellimantor.3.exe,Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe", "", "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe", "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe");
    row("windows", "shell metacharacters are plain text", "Pellimantor.3.exe,Pellimantor.4.0;x&y^z%25PATH%25!(a)'b'=d+[e]{f}.exe", "", "Pellimantor.4.0;x&y^z%25PATH%25!(a)'b'=d+[e]{f}.exe", "Pellimantor.4.0;x&y^z%25PATH%25!(a)'b'=d+[e]{f}.exe");
    row("", "kept release is a link to a superseded one", "Pellimantor.1.exe,Pellimantor.2.exe,link:Pellimantor.3.exe>Pellimantor.2.exe", "", "Pellimantor.2.exe,Pellimantor.3.exe", "Pellimantor.3.exe");
    row("", "superseded name is a link to the kept release", "link:Pellimantor.2.exe>Pellimantor.3.exe,Pellimantor.3.exe", "", "Pellimantor.2.exe,Pellimantor.3.exe", "Pellimantor.3.exe");
    row("", "superseded folder named like a release", "dir:Pellimantor.1.exe,data:Pellimantor.1.exe/inside,Pellimantor.2.exe", "", "Pellimantor.1.exe,Pellimantor.1.exe/inside,Pellimantor.2.exe", "Pellimantor.2.exe");
    row("unix", "links: the link may go, never its target", "dir:outside,data:outside/old,outside/new,link:Pellimantor.1.exe>outside/old,link:Pellimantor.2.exe>missing,link:Pellimantor.3.exe>outside/new", "", "Pellimantor.2.exe,Pellimantor.3.exe,outside,outside/new,outside/old", "Pellimantor.3.exe");
    row("unix", "link to a folder as newest", "dir:outside,link:Pellimantor.5.exe>outside,Pellimantor.2.exe", "", "Pellimantor.2.exe,Pellimantor.5.exe,outside", "");
    row("unix", "name of the maximum length", "Pellimantor.2.exe," + longest, "", longest, longest);
    row("unix", "built name beyond the maximum length", "Pellimantor.2.exe,data:" + beyondLongest, "", "Pellimantor.2.exe," + beyondLongest, "");
    row("unix", "control characters", "Pellimantor.1.%0A%09%1B.exe,Pellimantor.2.%01%0D.exe", "", "Pellimantor.2.%01%0D.exe", "Pellimantor.2.%01%0D.exe");
    row("unix", "invalid UTF-8 is never a candidate", "Pellimantor.1.%FF%FE.exe,Pellimantor.9.%FF.exe,Pellimantor.2.exe", "", "Pellimantor.1.%FF%FE.exe,Pellimantor.2.exe,Pellimantor.9.%FF.exe", "Pellimantor.2.exe");
    row("unix", "read-only releases", "ro:Pellimantor.1.exe,ro:Pellimantor.2.exe", "", "Pellimantor.2.exe", "Pellimantor.2.exe");
    row("unix", "unreadable folder", "Pellimantor.1.exe,Pellimantor.2.exe,mode:311", "", "Pellimantor.1.exe,Pellimantor.2.exe", "");
    row("unix", "read-only folder", "Pellimantor.1.exe,Pellimantor.2.exe,mode:555", "", "Pellimantor.1.exe,Pellimantor.2.exe", "Pellimantor.2.exe");
    row("unix", "working folder removed", "mode:gone", "", "", "");
}

void LauncherTest::run()
{
    QFETCH(QByteArray, entries);
    QFETCH(QByteArray, arguments);
    QFETCH(QByteArray, remaining);
    QFETCH(QByteArray, started);

    // Decoys of the names a wrong lookup could start: in the launcher's own
    // folder when it runs from there, and first on the search path.
    QVERIFY(writeFile(QFile::encodeName(decoys->filePath(QStringLiteral("Pellimantor.exe"))), launcher, 0755));
    QVERIFY(writeFile(QFile::encodeName(logs->filePath(QStringLiteral("holder.exe"))), standin, 0755));
    for (const QByteArray &name : names(started + ",Pellimantor.0.0.exe,Pellimantor.2.1,Pellimantor.2.exe"))
        QVERIFY(writeFile(QFile::encodeName(decoys->path()) + '/' + name, standin, 0755));
    for (const QByteArray &entry : names(entries))
        QVERIFY2(makeEntry(entry), entry.toPercentEncoding().constData());
    const int helpers = processes.size();
    QVERIFY2(records(helpers, 0).size() == helpers, "a helper stand-in did not start");

    const QByteArray home = names(entries).contains("Pellimantor.exe") ? folder : QFile::encodeName(decoys->path());
    QStringList command = QStringList{QFile::decodeName(home + "/Pellimantor.exe")} + QString::fromUtf8(arguments).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (mode == "gone") {
        QVERIFY(::mkdir(folder + "/gone", 0755) == 0);
        command = QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("cd \"$0\" && rmdir \"$0\" && exec \"$1\""), QFile::decodeName(folder + "/gone")} + command;
    } else if (!mode.isEmpty()) {
        QVERIFY(::chmod(folder, mode.toUInt(nullptr, 8)) == 0);
        // Permissions do not stop root.
        if (::geteuid() == 0)
            command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"), QStringLiteral("--")} + command;
    }
    QProcess *launched = start(command);
    QVERIFY2(launched->waitForFinished(20000), "the launcher did not end by itself within 20 s");
    QCOMPARE(launched->exitStatus(), QProcess::NormalExit);
    QCOMPARE(launched->exitCode(), 1);
    QCOMPARE(launched->readAllStandardOutput() + launched->readAllStandardError(), QByteArray());

    Records got = records(helpers + !started.isEmpty(), started.isEmpty() ? (windows ? 2000 : 700) : 300).mid(helpers);
    Records expected;
    if (!started.isEmpty())
        expected.append(expectedStart(names(started).first()));
    // Windows file names ignore case, and so may the path it reports.
    for (QByteArrayList &record : got)
        record[0] = windows ? record.value(0).toLower() : record.value(0);
    auto describe = [](const Records &list) {
        QByteArrayList lines;
        for (const QByteArrayList &record : list)
            lines.append(record.join(" | "));
        return lines.isEmpty() ? QByteArray("(nothing)") : lines.join("; ");
    };
    QVERIFY2(got == expected, ("expected start: " + describe(expected) + "\ngot: " + describe(got)).constData());
    ::chmod(folder, 0755);
    QByteArrayList left = names(remaining);
    std::sort(left.begin(), left.end());
    QCOMPARE(listing(folder), left);
}

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
