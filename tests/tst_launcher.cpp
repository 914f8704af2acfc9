// Black-box tests: the built launcher runs in a temporary folder of stand-in
// releases, and the tests check what was removed, what was started and how,
// and the exit status. PELLIMANTOR_LAUNCHER and PELLIMANTOR_STANDIN name the
// launcher and the stand-in program to copy into the folders.

#include <QtTest>

using Records = QList<QStringList>;

class LauncherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void run_data();
    void run();
    void startsDetached();

private:
    void makeEntry(const QString &directory, const QString &entry);
    QProcess *startLauncher(const QStringList &arguments, const QProcessEnvironment &extra = {});
    Records awaitRecords(int expected);
    QString logPath() const { return logs->filePath(QStringLiteral("standin.log")); }

    QString launcher;
    QString standin;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QTemporaryDir> decoys;
    std::unique_ptr<QTemporaryDir> logs;
    QProcess process;
};

// Reads the stand-ins' log: one string list per record.
static Records readRecords(const QString &path)
{
    Records records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    while (!file.atEnd()) {
        const int count = file.readLine().trimmed().toInt();
        QStringList fields;
        for (int i = 0; i < count && !file.atEnd(); ++i) {
            QByteArray length;
            char c;
            while (file.getChar(&c) && c != ':')
                length.append(c);
            fields.append(QString::fromUtf8(file.read(length.toInt())));
            file.getChar(&c);
        }
        records.append(fields);
    }
    return records;
}

static QString describe(const Records &records)
{
    QStringList lines;
    for (const QStringList &record : records)
        lines.append(record.join(QStringLiteral(" | ")));
    return lines.isEmpty() ? QStringLiteral("(nothing)") : lines.join(QStringLiteral("; "));
}

static QStringList entriesOf(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                     QDir::Name);
}

void LauncherTest::initTestCase()
{
    launcher = qEnvironmentVariable("PELLIMANTOR_LAUNCHER");
    standin = qEnvironmentVariable("PELLIMANTOR_STANDIN");
    QVERIFY2(QFileInfo(launcher).isFile(), qPrintable(QStringLiteral("no launcher at '%1'").arg(launcher)));
    QVERIFY2(QFileInfo(standin).isFile(), qPrintable(QStringLiteral("no stand-in at '%1'").arg(standin)));
}

void LauncherTest::init()
{
    folder.reset(new QTemporaryDir);
    decoys.reset(new QTemporaryDir);
    logs.reset(new QTemporaryDir);
    QVERIFY2(folder->isValid(), qPrintable(folder->errorString()));
    QVERIFY2(decoys->isValid(), qPrintable(decoys->errorString()));
    QVERIFY2(logs->isValid(), qPrintable(logs->errorString()));
    QVERIFY(QFile::copy(launcher, folder->filePath(QStringLiteral("Pellimantor.exe"))));
}

// "dir:NAME" makes a folder, "data:NAME" a plain file, "link:NAME>TARGET" a
// symbolic link, and a bare NAME a stand-in release.
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
    } else if (kind == QLatin1String("link")) {
        QVERIFY2(QFile::link(name.section(QLatin1Char('>'), 1), QDir(directory).filePath(name.section(QLatin1Char('>'), 0, 0))),
                 qPrintable(path));
    } else {
        QVERIFY2(QFile::copy(standin, QDir(directory).filePath(entry)), qPrintable(entry));
    }
}

QProcess *LauncherTest::startLauncher(const QStringList &arguments, const QProcessEnvironment &extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_LOG"), logPath());
    // A program of the kept name on PATH must never be the one started.
    environment.insert(QStringLiteral("PATH"), decoys->path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder->path());
    process.start(folder->filePath(QStringLiteral("Pellimantor.exe")), arguments);
    return &process;
}

// Waits until the log holds `expected` records, then a little longer so that
// a start that should not have happened has time to show.
Records LauncherTest::awaitRecords(int expected)
{
    QDeadlineTimer deadline(20000);
    while (readRecords(logPath()).size() < expected && !deadline.hasExpired())
        QThread::msleep(20);
    QThread::msleep(expected == 0 ? 700 : 200);
    return readRecords(logPath());
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
                                       << L{"--help", "Pellimantor.1.9.exe", "-v", ""}
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
    QTest::newRow("other case stays on a case-sensitive file system")
        << L{"pellimantor.1.5.EXE", "Pellimantor.2.exe"} << L() << L{"Pellimantor.2.exe", "pellimantor.1.5.EXE"}
        << "Pellimantor.2.exe";
    QTest::newRow("case twin is another file here")
        << L{"Pellimantor.1.A.exe", "Pellimantor.1.a.exe", "data:PellimantorZ.1.A.exe"} << L()
        << L{"Pellimantor.1.A.exe", "PellimantorZ.1.A.exe"} << "Pellimantor.1.A.exe";
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
    QTest::newRow("shell metacharacters are plain text")
        << L{"Pellimantor.3.exe", "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*.exe"} << L()
        << L{"Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*.exe"} << "Pellimantor.4.0;touch x&$(id)|`y`\"q\"'r'*.exe";
}

void LauncherTest::run()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, remaining);
    QFETCH(QString, started);

    for (const QString &entry : entries) {
        makeEntry(folder->path(), entry);
        makeEntry(decoys->path(), entry.section(QLatin1Char(':'), -1).section(QLatin1Char('>'), 0, 0));
    }
    for (const char *name : {"Pellimantor.0.0.exe", "Pellimantor.1.2.3.exe.exe", "Pellimantor.2.exe", "Pellimantor.4.exe"})
        QFile::copy(standin, decoys->filePath(QLatin1String(name)));

    QProcess *run = startLauncher(arguments);
    QVERIFY2(run->waitForFinished(30000), "the launcher did not exit within 30 s");
    QCOMPARE(run->exitStatus(), QProcess::NormalExit);
    QCOMPARE(run->exitCode(), 1);
    QCOMPARE(run->readAllStandardOutput(), QByteArray());
    QCOMPARE(run->readAllStandardError(), QByteArray());

    const Records records = awaitRecords(started.isEmpty() ? 0 : 1);
    if (started.isEmpty()) {
        QVERIFY2(records.isEmpty(), qPrintable(QStringLiteral("expected no start, got: ") + describe(records)));
    } else {
        const QStringList expected{QStringLiteral("started"), QFileInfo(folder->filePath(started)).canonicalFilePath(),
                                   QFileInfo(folder->path()).canonicalFilePath(), QStringLiteral("./") + started};
        QVERIFY2(records == Records{expected}, qPrintable(QStringLiteral("expected one start: %1\ngot: %2")
                                                              .arg(expected.join(QStringLiteral(" | ")), describe(records))));
    }
    remaining.append(QStringLiteral("Pellimantor.exe"));
    remaining.sort();
    QCOMPARE(entriesOf(folder->path()), remaining);
}

void LauncherTest::startsDetached()
{
    makeEntry(folder->path(), QStringLiteral("Pellimantor.1.exe"));
    const QString gate = logs->filePath(QStringLiteral("gate"));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("PELLIMANTOR_STANDIN_GATE"), gate);

    QProcess *run = startLauncher({}, extra);
    QVERIFY2(run->waitForFinished(30000), "the launcher waited for the release it started");
    QCOMPARE(run->exitCode(), 1);
    Records records = awaitRecords(1);
    QVERIFY2(records.size() == 1 && records.first().value(0) == QLatin1String("started"),
             qPrintable(QStringLiteral("expected the release to be running, got: ") + describe(records)));

    QFile(gate).open(QIODevice::WriteOnly);
    records = awaitRecords(2);
    QVERIFY2(records.size() == 2 && records.last() == QStringList{QStringLiteral("finished")},
             qPrintable(QStringLiteral("expected the release to finish on its own, got: ") + describe(records)));
}

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
