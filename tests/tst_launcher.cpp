// Black-box tests: the built launcher runs in a temporary folder of stand-in
// releases, and the tests check what was removed, what was started and how,
// and the exit status. PELLIMANTOR_LAUNCHER and PELLIMANTOR_STANDIN name the
// launcher and the stand-in program to copy into the folders. Built with
// TARGET_WINDOWS, the same cases run the Windows launcher and Windows
// stand-ins under Wine (in the WINEPREFIX that the environment names), and
// the cases that only Windows shows are added.

#include "blackbox.h"

#include <QtTest>

class LauncherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void run_data();
    void run();
    void launcherElsewhere_data();
    void launcherElsewhere();
    void startsDetached();
#ifdef TARGET_WINDOWS
    void runningReleaseStays();
#endif

private:
    void makeEntry(const QString &directory, const QString &entry);
    void runLauncher(const QString &launcherPath, const QStringList &arguments = {},
                     const QProcessEnvironment &extra = {});
    QProcess *startProgram(QProcess *process, const QString &program, const QStringList &arguments,
                           const QProcessEnvironment &extra);
    Records awaitRecords(int expected);
    QStringList expectedStart(const QString &name) const;
    void verifyStarts(const Records &records, const QStringList &names);
    QString logPath() const { return logs->filePath(QStringLiteral("standin.log")); }

    QString launcher;
    QString standin;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QTemporaryDir> decoys;
    std::unique_ptr<QTemporaryDir> logs;
    QProcess process;
};

#ifdef TARGET_WINDOWS
static const bool windows = true;
#else
static const bool windows = false;
#endif

// The path as the programs under test see it: Wine shows the Unix root as drive Z:.
static QString hostPath(const QString &path)
{
    return windows ? QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')) : path;
}

void LauncherTest::initTestCase()
{
    launcher = qEnvironmentVariable("PELLIMANTOR_LAUNCHER");
    standin = qEnvironmentVariable("PELLIMANTOR_STANDIN");
    QVERIFY2(QFileInfo(launcher).isFile(), qPrintable(QStringLiteral("no launcher at '%1'").arg(launcher)));
    QVERIFY2(QFileInfo(standin).isFile(), qPrintable(QStringLiteral("no stand-in at '%1'").arg(standin)));
    if (windows) {
        QVERIFY2(!qEnvironmentVariable("WINEPREFIX").isEmpty(), "WINEPREFIX must name the test run's own Wine prefix");
        QProcess boot;
        boot.start(QStringLiteral("wineboot"), {QStringLiteral("--init")});
        QVERIFY2(boot.waitForFinished(600000) && boot.exitCode() == 0,
                 qPrintable(QStringLiteral("wineboot --init failed: ") + boot.errorString()
                            + QString::fromLocal8Bit(boot.readAllStandardError())));
    }
}

void LauncherTest::cleanupTestCase()
{
    // Wine's server would otherwise linger after the last test.
    if (windows)
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
}

void LauncherTest::init()
{
    folder.reset(new QTemporaryDir);
    decoys.reset(new QTemporaryDir);
    logs.reset(new QTemporaryDir);
    QVERIFY2(folder->isValid(), qPrintable(folder->errorString()));
    QVERIFY2(decoys->isValid(), qPrintable(decoys->errorString()));
    QVERIFY2(logs->isValid(), qPrintable(logs->errorString()));
}

// "dir:NAME" makes a folder, "data:NAME" a plain file, and a bare NAME a stand-in release.
void LauncherTest::makeEntry(const QString &directory, const QString &entry)
{
    const QString kind = entry.section(QLatin1Char(':'), 0, 0);
    const QString name = entry.section(QLatin1Char(':'), 1);
    const QString path = QDir(directory).filePath(name);
    if (kind == QLatin1String("dir")) {
        QVERIFY2(QDir().mkpath(path), qPrintable(path));
    } else if (kind == QLatin1String("data")) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly) && file.write("data") == 4, qPrintable(path));
    } else {
        QVERIFY2(QFile::copy(standin, QDir(directory).filePath(entry)), qPrintable(entry));
    }
}

QProcess *LauncherTest::startProgram(QProcess *started, const QString &program, const QStringList &arguments,
                                     const QProcessEnvironment &extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_LOG"), hostPath(logPath()));
    // A program of the kept name on the search path must never be the one started.
    environment.insert(QStringLiteral("PATH"), decoys->path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("WINEPATH"), hostPath(decoys->path()));
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    environment.insert(extra);
    started->setProcessEnvironment(environment);
    started->setWorkingDirectory(folder->path());
    if (windows)
        started->start(QStringLiteral("wine"), QStringList{program} + arguments);
    else
        started->start(program, arguments);
    return started;
}

// Runs the launcher to its end in the test folder and checks how it ended.
void LauncherTest::runLauncher(const QString &launcherPath, const QStringList &arguments,
                               const QProcessEnvironment &extra)
{
    startProgram(&process, launcherPath, arguments, extra);
    QVERIFY2(process.waitForFinished(60000), "the launcher did not exit within 60 s");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

// Waits until the log holds `expected` records, then a little longer so that
// a start that should not have happened has time to show.
Records LauncherTest::awaitRecords(int expected)
{
    return ::awaitRecords(logPath(), expected, expected == 0 ? (windows ? 2000 : 700) : 300);
}

// The record of the stand-in `name` of the test folder started by the launcher.
QStringList LauncherTest::expectedStart(const QString &name) const
{
    const QString call = QStringLiteral("./") + name;
    if (windows) {
        // Qt quotes a program path that holds a space, spells it with
        // backslashes and ends the command line with a space.
        QString program = QString(call).replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (name.contains(QLatin1Char(' ')))
            program = QLatin1Char('"') + program + QLatin1Char('"');
        return {QStringLiteral("started"), hostPath(folder->filePath(name)), hostPath(folder->path()),
                program + QLatin1Char(' ')};
    }
    return {QStringLiteral("started"), QFileInfo(folder->filePath(name)).canonicalFilePath(),
            QFileInfo(folder->path()).canonicalFilePath(), call};
}

void LauncherTest::verifyStarts(const Records &records, const QStringList &names)
{
    Records expected;
    for (const QString &name : names)
        expected.append(expectedStart(name));
    // Windows file names ignore case, and so may the path it reports.
    auto comparable = [](Records list) {
        for (QStringList &record : list) {
            if (windows && record.size() > 1)
                record[1] = record[1].toLower();
        }
        return list;
    };
    QVERIFY2(comparable(records) == comparable(expected),
             qPrintable(QStringLiteral("expected: %1\ngot: %2").arg(describeRecords(expected), describeRecords(records))));
}

void LauncherTest::run_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("started");

    using L = QStringList;
    QTest::newRow("typical") << L{"Pellimantor.1.9.exe", "Pellimantor.1.10.exe"} << L()
                             << L{"Pellimantor.1.10.exe"} << "Pellimantor.1.10.exe";
    QTest::newRow("arguments ignored") << L{"Pellimantor.1.9.exe", "Pellimantor.1.10.exe"}
                                       << L{"--help", "Pellimantor.1.9.exe", "-v", "a b"}
                                       << L{"Pellimantor.1.10.exe"} << "Pellimantor.1.10.exe";
    QTest::newRow("nothing to start") << L() << L() << L() << "";
    QTest::newRow("no release among others") << L{"data:Other.2.exe", "data:Pellimantor.txt"} << L()
                                             << L{"Other.2.exe", "Pellimantor.txt"} << "";
    QTest::newRow("single release") << L{"Pellimantor.3.exe"} << L() << L{"Pellimantor.3.exe"} << "Pellimantor.3.exe";
    QTest::newRow("equal versions: later listed kept") << L{"Pellimantor.2.0.exe", "Pellimantor.2.exe"} << L()
                                                       << L{"Pellimantor.2.exe"} << "Pellimantor.2.exe";
    QTest::newRow("removal goes by built names")
        << L{"data:PellimantorSetup.1.5.exe", "data:Pellimantor.1.5.zip", "Pellimantor.1.5.exe", "Pellimantor.2.exe"}
        << L() << L{"Pellimantor.1.5.zip", "Pellimantor.2.exe", "PellimantorSetup.1.5.exe"} << "Pellimantor.2.exe";
    // A file system that ignores case lets the built name reach the listed one.
    QTest::newRow("other case superseded")
        << L{"pellimantor.1.5.EXE", "Pellimantor.2.exe"} << L()
        << (windows ? L{"Pellimantor.2.exe"} : L{"Pellimantor.2.exe", "pellimantor.1.5.EXE"}) << "Pellimantor.2.exe";
    // Only one file, reached by the kept name in other letters: it must stay and start.
    QTest::newRow("kept release through another spelling")
        << L{"Pellimantor.1.A.exe", "data:PellimantorZ.1.a.exe"} << L()
        << L{"Pellimantor.1.A.exe", "PellimantorZ.1.a.exe"} << (windows ? "Pellimantor.1.a.exe" : "");
    // Two names that differ in case alone are two files only where case counts.
    if (!windows) {
        QTest::newRow("case twin is another file")
            << L{"Pellimantor.1.A.exe", "Pellimantor.1.a.exe", "data:PellimantorZ.1.A.exe"} << L()
            << L{"Pellimantor.1.A.exe", "PellimantorZ.1.A.exe"} << "Pellimantor.1.A.exe";
    }
    QTest::newRow("duplicates removed once, others stay")
        << L{"data:Pellimantor.1.2.dll", "Pellimantor.1.2.exe", "Pellimantor.1.3.exe"} << L()
        << L{"Pellimantor.1.2.dll", "Pellimantor.1.3.exe"} << "Pellimantor.1.3.exe";
    QTest::newRow("kept is missing: backup chosen") << L{"Pellimantor.1.2.3.exe", "data:Pellimantor.1.2.3.exe.bak"}
                                                    << L() << L{"Pellimantor.1.2.3.exe", "Pellimantor.1.2.3.exe.bak"}
                                                    << "";
    QTest::newRow("kept is missing: folder chosen") << L{"dir:Pellimantor.2.0", "Pellimantor.1.exe"} << L()
                                                    << L{"Pellimantor.1.exe", "Pellimantor.2.0"} << "";
    QTest::newRow("kept is a folder") << L{"dir:Pellimantor.4.exe", "Pellimantor.3.exe"} << L()
                                      << L{"Pellimantor.3.exe", "Pellimantor.4.exe"} << "";
    QTest::newRow("every version below zero") << L{"Pellimantor.-1.exe", "Pellimantor.-2.exe"} << L()
                                              << L{"Pellimantor.-1.exe", "Pellimantor.-2.exe"} << "";
    QTest::newRow("space in the name is not split")
        << L{"Pellimantor.1.exe", "Pellimantor.2.1", "Pellimantor.2.1 2.exe"} << L()
        << L{"Pellimantor.2.1", "Pellimantor.2.1 2.exe"} << "Pellimantor.2.1 2.exe";
    // Characters a shell or a command line would act on; Windows forbids some in file names.
    const QString special = windows ? QStringLiteral("Pellimantor.4.0;x&y^z%PATH%!(a)'b',c=d+[e]{f}.exe")
                                    : QStringLiteral("Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*\\.exe");
    QTest::newRow("shell metacharacters are plain text") << L{"Pellimantor.3.exe", special} << L() << L{special}
                                                         << special;
}

void LauncherTest::run()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, remaining);
    QFETCH(QString, started);

    QVERIFY(QFile::copy(launcher, folder->filePath(QStringLiteral("Pellimantor.exe"))));
    for (const QString &entry : entries) {
        makeEntry(folder->path(), entry);
        makeEntry(decoys->path(), entry.section(QLatin1Char(':'), -1));
    }
    for (const char *name : {"Pellimantor.0.0.exe", "Pellimantor.1.2.3.exe.exe", "Pellimantor.2.exe", "Pellimantor.4.exe"})
        QFile::copy(standin, decoys->filePath(QLatin1String(name)));

    runLauncher(folder->filePath(QStringLiteral("Pellimantor.exe")), arguments);
    verifyStarts(awaitRecords(started.isEmpty() ? 0 : 1), started.isEmpty() ? QStringList() : QStringList{started});
    remaining.append(QStringLiteral("Pellimantor.exe"));
    remaining.sort();
    QCOMPARE(entriesOf(folder->path()), remaining);
}

void LauncherTest::launcherElsewhere_data()
{
    QTest::addColumn<QString>("release");
    QTest::newRow("release in the working folder") << "Pellimantor.2.exe";
    QTest::newRow("nothing in the working folder") << "";
}

// The launcher's own folder holds decoys of every name it could start; only
// the working folder counts.
void LauncherTest::launcherElsewhere()
{
    QFETCH(QString, release);
    QVERIFY(QFile::copy(launcher, decoys->filePath(QStringLiteral("Pellimantor.exe"))));
    makeEntry(decoys->path(), QStringLiteral("Pellimantor.2.exe"));
    makeEntry(decoys->path(), QStringLiteral("Pellimantor.0.0.exe"));
    if (!release.isEmpty())
        makeEntry(folder->path(), release);

    runLauncher(decoys->filePath(QStringLiteral("Pellimantor.exe")));
    verifyStarts(awaitRecords(release.isEmpty() ? 0 : 1), release.isEmpty() ? QStringList() : QStringList{release});
    QCOMPARE(entriesOf(decoys->path()).size(), 3);
}

void LauncherTest::startsDetached()
{
    QVERIFY(QFile::copy(launcher, folder->filePath(QStringLiteral("Pellimantor.exe"))));
    makeEntry(folder->path(), QStringLiteral("Pellimantor.1.exe"));
    const QString gate = logs->filePath(QStringLiteral("gate"));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("PELLIMANTOR_STANDIN_GATE"), hostPath(gate));

    // The stand-in waits for the gate, so the launcher can only end first if it did not wait.
    runLauncher(folder->filePath(QStringLiteral("Pellimantor.exe")), {}, extra);
    verifyStarts(awaitRecords(1), {QStringLiteral("Pellimantor.1.exe")});

    QFile(gate).open(QIODevice::WriteOnly);
    const Records records = awaitRecords(2);
    QVERIFY2(records.size() == 2 && records.last() == QStringList{QStringLiteral("finished")},
             qPrintable(QStringLiteral("expected the release to finish on its own, got: ") + describeRecords(records)));
}

#ifdef TARGET_WINDOWS
// A superseded release that is still running cannot be removed on Windows:
// the failure is ignored and the newest release still starts.
void LauncherTest::runningReleaseStays()
{
    QVERIFY(QFile::copy(launcher, folder->filePath(QStringLiteral("Pellimantor.exe"))));
    makeEntry(folder->path(), QStringLiteral("Pellimantor.1.exe"));
    makeEntry(folder->path(), QStringLiteral("Pellimantor.1.5.exe"));
    makeEntry(folder->path(), QStringLiteral("Pellimantor.2.exe"));
    const QString gate = logs->filePath(QStringLiteral("gate"));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("PELLIMANTOR_STANDIN_GATE"), hostPath(gate));
    QProcess running;
    startProgram(&running, folder->filePath(QStringLiteral("Pellimantor.1.exe")), {}, extra);
    QVERIFY2(awaitRecords(1).size() == 1, "the old release did not start");

    runLauncher(folder->filePath(QStringLiteral("Pellimantor.exe")));
    const Records records = awaitRecords(2);
    QFile(gate).open(QIODevice::WriteOnly);
    QVERIFY(running.waitForFinished(60000));
    verifyStarts(records.mid(1), {QStringLiteral("Pellimantor.2.exe")});
    QCOMPARE(entriesOf(folder->path()),
             (QStringList{"Pellimantor.1.exe", "Pellimantor.2.exe", "Pellimantor.exe"}));
}
#endif

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
