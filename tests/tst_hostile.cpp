// Black-box tests of the native launcher in hostile folders: unreadable,
// read-only or removed working folders, very many entries, names of the
// maximum length or with control characters and invalid UTF-8, links and
// folders named like releases, and a long run of updates. In each, nothing
// outside the candidate list is touched, the kept release is never removed,
// and the launcher ends with status 1 and prints nothing.

#include "blackbox.h"
#include "discovery.h"

#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Names = QList<QByteArray>;

class HostileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void folders_data();
    void folders();
    void unreadableFolder();
    void readOnlyFolder();
    void removedFolder();
    void manyEntries();
    void updateSoak();

private:
    void makeEntry(const QByteArray &directory, const QByteArray &entry);
    void runLauncher(const QStringList &wrapper = {});
    void verifyStarted(const QByteArray &name, int graceMs = 300);
    QByteArray folderPath() const { return QFile::encodeName(folder->path()); }
    QString logPath() const { return logs->filePath(QStringLiteral("standin.log")); }

    QByteArray standinBytes;
    std::unique_ptr<QTemporaryDir> tools;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QTemporaryDir> elsewhere;
    std::unique_ptr<QTemporaryDir> logs;
    QString launcher;
};

static bool writeFile(const QByteArray &path, const QByteArray &content, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    const bool written = fd >= 0 && ::write(fd, content.constData(), content.size()) == content.size();
    return ::close(fd) == 0 && written && ::chmod(path.constData(), mode) == 0;
}

// Every entry name of a folder, as raw bytes, sorted.
static Names rawEntries(const QByteArray &directory)
{
    Names names;
    if (DIR *dir = ::opendir(directory.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

static QByteArray describeNames(const Names &names)
{
    Names shown;
    for (const QByteArray &name : names)
        shown.append(name.toPercentEncoding(" .;,-_+"));
    return '[' + shown.join(", ") + ']';
}

// Runs as an unprivileged user when the tests run as root, whom permissions do not stop.
static QStringList asUnprivileged()
{
    if (::geteuid() != 0)
        return {};
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups"), QStringLiteral("--")};
}

void HostileTest::initTestCase()
{
    QFile standin(qEnvironmentVariable("PELLIMANTOR_STANDIN"));
    QVERIFY2(standin.open(QIODevice::ReadOnly), qPrintable(QStringLiteral("no stand-in: ") + standin.fileName()));
    standinBytes = standin.readAll();
    // The launcher lives outside the folders under test, where anyone may run it.
    tools.reset(new QTemporaryDir);
    QVERIFY2(tools->isValid(), qPrintable(tools->errorString()));
    launcher = tools->filePath(QStringLiteral("Pellimantor.exe"));
    QVERIFY(QFile::copy(qEnvironmentVariable("PELLIMANTOR_LAUNCHER"), launcher));
    QVERIFY(::chmod(QFile::encodeName(tools->path()).constData(), 0755) == 0);
}

void HostileTest::init()
{
    folder.reset(new QTemporaryDir);
    elsewhere.reset(new QTemporaryDir);
    logs.reset(new QTemporaryDir);
    QVERIFY2(folder->isValid() && elsewhere->isValid() && logs->isValid(), "cannot make temporary folders");
    for (const QString &path : {folder->path(), elsewhere->path(), logs->path()})
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
}

void HostileTest::cleanup()
{
    // Give the folder back its permissions, and remove names that Qt cannot decode itself.
    ::chmod(folderPath().constData(), 0777);
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), folder->path()});
}

// "dir:NAME" a folder, "data:NAME" a plain file, "ro:NAME" a read-only stand-in,
// "link:NAME>TARGET" a link to TARGET in the other folder, "here:NAME>TARGET" a
// link to TARGET in the same folder, and a bare NAME a stand-in.
void HostileTest::makeEntry(const QByteArray &directory, const QByteArray &entry)
{
    const int colon = entry.indexOf(':');
    const QByteArray kind = colon > 0 && colon < 5 ? entry.left(colon) : QByteArray();
    const QByteArray name = kind.isEmpty() ? entry : entry.mid(colon + 1);
    const int arrow = name.indexOf('>');
    const QByteArray path = directory + '/' + (arrow < 0 ? name : name.left(arrow));
    bool made;
    if (kind == "dir")
        made = ::mkdir(path.constData(), 0755) == 0 && writeFile(path + "/inside", "data", 0644);
    else if (kind == "data")
        made = writeFile(path, "data", 0644);
    else if (kind == "ro")
        made = writeFile(path, standinBytes, 0555);
    else if (kind == "link")
        made = ::symlink((QFile::encodeName(elsewhere->path()) + '/' + name.mid(arrow + 1)).constData(), path.constData()) == 0;
    else if (kind == "here")
        made = ::symlink(name.mid(arrow + 1).constData(), path.constData()) == 0;
    else
        made = writeFile(path, standinBytes, 0755);
    QVERIFY2(made, qPrintable(QStringLiteral("cannot make ") + QString::fromLocal8Bit(describeNames({path}))));
}

// Runs the launcher in the folder, behind `wrapper` if given, and checks how it ended.
void HostileTest::runLauncher(const QStringList &wrapper)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLIMANTOR_STANDIN_LOG"), logPath());
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder->path());
    const QStringList command = wrapper + QStringList{launcher};
    process.start(command.first(), command.mid(1));
    QVERIFY2(process.waitForFinished(120000), "the launcher did not exit within 120 s");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

// Checks that exactly the release `name` of the folder was started, or none if it is empty.
void HostileTest::verifyStarted(const QByteArray &name, int graceMs)
{
    const Records records = awaitRecords(logPath(), name.isEmpty() ? 0 : 1, name.isEmpty() ? 700 : graceMs);
    Records expected;
    if (!name.isEmpty())
        expected.append({QStringLiteral("started"), QString(), QFileInfo(folder->path()).canonicalFilePath(),
                         QString::fromUtf8("./" + name)});
    Records got = records;
    for (QStringList &record : got)
        record[1].clear(); // the program's own path: a link's target, not the name started
    QVERIFY2(got == expected, qPrintable(QStringLiteral("expected: %1\ngot: %2")
                                             .arg(describeRecords(expected), describeRecords(records))));
}

void HostileTest::folders_data()
{
    QTest::addColumn<Names>("entries");
    QTest::addColumn<Names>("remaining");
    QTest::addColumn<QByteArray>("started");

    const QByteArray longest = "Pellimantor.3." + QByteArray(255 - 18, '0') + ".exe";
    const QByteArray tooLongBuilt = "Pellimantor.7." + QByteArray(255 - 16, '0') + ".x";
    QTest::newRow("name of the maximum length") << Names{"Pellimantor.2.exe", longest} << Names{longest} << longest;
    QTest::newRow("built name beyond the maximum length")
        << Names{"Pellimantor.2.exe", "data:" + tooLongBuilt} << Names{"Pellimantor.2.exe", tooLongBuilt}
        << QByteArray();
    QTest::newRow("control characters") << Names{"Pellimantor.1.\n\t\x1b.exe", "Pellimantor.2.\x01\r.exe"}
                                        << Names{"Pellimantor.2.\x01\r.exe"} << QByteArray("Pellimantor.2.\x01\r.exe");
    // Qt's listing passes over names that do not decode, so they are never candidates.
    QTest::newRow("invalid UTF-8, superseded") << Names{"Pellimantor.1.\xff\xfe.exe", "Pellimantor.2.exe"}
                                               << Names{"Pellimantor.1.\xff\xfe.exe", "Pellimantor.2.exe"}
                                               << QByteArray("Pellimantor.2.exe");
    QTest::newRow("invalid UTF-8, newest") << Names{"Pellimantor.9.\xff.exe", "Pellimantor.2.exe"}
                                           << Names{"Pellimantor.2.exe", "Pellimantor.9.\xff.exe"}
                                           << QByteArray("Pellimantor.2.exe");
    QTest::newRow("read-only releases") << Names{"ro:Pellimantor.1.exe", "ro:Pellimantor.2.exe"}
                                        << Names{"Pellimantor.2.exe"} << QByteArray("Pellimantor.2.exe");
    // A dangling link is not listed (Qt counts it a system entry), so it stays.
    QTest::newRow("links: the link may go, never its target")
        << Names{"link:Pellimantor.1.exe>old", "link:Pellimantor.2.exe>missing", "link:Pellimantor.3.exe>new"}
        << Names{"Pellimantor.2.exe", "Pellimantor.3.exe"} << QByteArray("Pellimantor.3.exe");
    // The kept release's own file stays, whichever name or link leads to it.
    QTest::newRow("kept release is a link to a superseded one")
        << Names{"Pellimantor.1.exe", "Pellimantor.2.exe", "here:Pellimantor.3.exe>Pellimantor.2.exe"}
        << Names{"Pellimantor.2.exe", "Pellimantor.3.exe"} << QByteArray("Pellimantor.3.exe");
    QTest::newRow("superseded name is a link to the kept release")
        << Names{"here:Pellimantor.2.exe>Pellimantor.3.exe", "Pellimantor.3.exe"}
        << Names{"Pellimantor.2.exe", "Pellimantor.3.exe"} << QByteArray("Pellimantor.3.exe");
    QTest::newRow("link to a folder as newest") << Names{"link:Pellimantor.5.exe>folder", "Pellimantor.2.exe"}
                                                << Names{"Pellimantor.2.exe", "Pellimantor.5.exe"} << QByteArray();
    QTest::newRow("superseded folder named like a release")
        << Names{"dir:Pellimantor.1.exe", "Pellimantor.2.exe"} << Names{"Pellimantor.1.exe", "Pellimantor.2.exe"}
        << QByteArray("Pellimantor.2.exe");
}

void HostileTest::folders()
{
    QFETCH(Names, entries);
    QFETCH(Names, remaining);
    QFETCH(QByteArray, started);

    const QByteArray other = QFile::encodeName(elsewhere->path());
    makeEntry(other, "old");
    makeEntry(other, "new");
    makeEntry(other, "dir:folder");
    for (const QByteArray &entry : entries)
        makeEntry(folderPath(), entry);

    runLauncher();
    verifyStarted(started);
    QVERIFY2(rawEntries(folderPath()) == remaining, describeNames(rawEntries(folderPath())).constData());
    QCOMPARE(rawEntries(other), (Names{"folder", "new", "old"}));
    QCOMPARE(rawEntries(other + "/folder"), Names{"inside"});
}

void HostileTest::unreadableFolder()
{
    makeEntry(folderPath(), "Pellimantor.1.exe");
    makeEntry(folderPath(), "Pellimantor.2.exe");
    // Anyone may enter the folder, nobody but root may list it.
    QVERIFY(::chmod(folderPath().constData(), 0311) == 0);
    runLauncher(asUnprivileged());
    verifyStarted(QByteArray());
    QVERIFY(::chmod(folderPath().constData(), 0755) == 0);
    QCOMPARE(rawEntries(folderPath()), (Names{"Pellimantor.1.exe", "Pellimantor.2.exe"}));
}

void HostileTest::readOnlyFolder()
{
    makeEntry(folderPath(), "Pellimantor.1.exe");
    makeEntry(folderPath(), "Pellimantor.2.exe");
    QVERIFY(::chmod(folderPath().constData(), 0555) == 0);
    runLauncher(asUnprivileged());
    // The removal fails and is passed over; the newest release still starts.
    verifyStarted("Pellimantor.2.exe");
    QCOMPARE(rawEntries(folderPath()), (Names{"Pellimantor.1.exe", "Pellimantor.2.exe"}));
}

void HostileTest::removedFolder()
{
    const QString gone = folder->filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkdir(gone));
    runLauncher({QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("cd \"$0\" && rmdir \"$0\" && exec \"$1\""),
                 gone});
    verifyStarted(QByteArray());
    QCOMPARE(rawEntries(folderPath()), Names());
}

void HostileTest::manyEntries()
{
    const int count = 100000;
    for (int i = 1; i < count - 1; ++i)
        QVERIFY(writeFile(folderPath() + "/Pellimantor." + QByteArray::number(i) + ".exe", QByteArray(), 0644));
    makeEntry(folderPath(), "data:notes.txt");
    makeEntry(folderPath(), "Pellimantor." + QByteArray::number(count) + ".exe");

    runLauncher();
    verifyStarted("Pellimantor." + QByteArray::number(count) + ".exe");
    QCOMPARE(rawEntries(folderPath()), (Names{"Pellimantor.100000.exe", "notes.txt"}));
}

// Runs the launcher again and again while new releases arrive between runs,
// some of equal versions and some under other prefixes or extensions.
void HostileTest::updateSoak()
{
    QRandomGenerator random(20261207);
    int major = 1;
    int starts = 0;
    // A name that is there already stays as it is: its release may still be running.
    auto drop = [this](const QByteArray &entry) {
        if (!QFileInfo::exists(QFile::decodeName(folderPath() + '/' + entry.mid(entry.indexOf(':') + 1))))
            makeEntry(folderPath(), entry);
    };
    for (int run = 0; run < 300; ++run) {
        const QByteArray version = QByteArray::number(major) + '.' + QByteArray::number(random.bounded(3));
        switch (random.bounded(6)) {
        case 0: drop("Pellimantor." + version + ".0.exe"); break; // equal to a later-listed one below
        case 1: drop("data:PellimantorSetup." + version + ".exe"); break;
        case 2: drop("data:Pellimantor." + version + ".zip"); break;
        case 3: drop("Pellimantor." + QByteArray::number(random.bounded(major)) + ".exe"); break;
        default: break;
        }
        drop("Pellimantor." + version + ".exe");
        major += random.bounded(2);

        // What the launcher must choose, from the listing as it stands now.
        QString chosen = QStringLiteral("0.0");
        QStringList candidates;
        selectRelease(listReleases(QDir(folder->path())), &chosen, &candidates);
        const QString kept = releaseFileName(chosen);
        QVERIFY2(QFileInfo(folder->filePath(kept)).isFile(), qPrintable(kept));
        const int others = rawEntries(folderPath()).size() - candidates.size();

        runLauncher();
        const Records records = awaitRecords(logPath(), ++starts, 0);
        QVERIFY2(records.size() == starts && records.last().value(3) == QStringLiteral("./") + kept,
                 qPrintable(QStringLiteral("run %1: expected %2 started, got %3").arg(run).arg(kept, describeRecords(records))));
        QVERIFY2(QFileInfo(folder->filePath(kept)).isFile(), qPrintable(QStringLiteral("run %1: %2 is gone").arg(run).arg(kept)));
        for (const QString &candidate : candidates) {
            QVERIFY2(candidate == kept || !QFileInfo::exists(folder->filePath(candidate)),
                     qPrintable(QStringLiteral("run %1: superseded %2 is still there").arg(run).arg(candidate)));
        }
        // Entries outside the candidate list stay: the launcher is one of them no more, the others all.
        QVERIFY2(rawEntries(folderPath()).size() >= others + 1, qPrintable(QStringLiteral("run %1").arg(run)));
    }
}

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
