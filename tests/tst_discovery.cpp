#include "discovery.h"

#include <QtTest>

class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void selection_data();
    void selection();
    void listing();

private:
    QTemporaryDir dir;
};

void DiscoveryTest::selection_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<QString>("chosen");

    using L = QStringList;
    QTest::newRow("empty listing") << L() << L() << "0.0";
    QTest::newRow("launcher only") << L{"Pellimantor.exe"} << L() << "0.0";
    QTest::newRow("typical") << L{"Pellimantor.1.10.exe", "Pellimantor.1.9.exe", "Pellimantor.exe"}
                             << L{"Pellimantor.1.10.exe", "Pellimantor.1.9.exe"} << "1.10";
    QTest::newRow("no extension") << L{"Pellimantor.2.0"} << L{"Pellimantor.2.exe"} << "2";
    QTest::newRow("other letter case") << L{"pellimantor.1.5.EXE"} << L{"Pellimantor.1.5.exe"} << "1.5";
    QTest::newRow("longer prefix") << L{"PellimantorSetup.3.1.exe"} << L{"Pellimantor.3.1.exe"} << "3.1";
    QTest::newRow("leading empty part vanishes") << L{"Pellimantor..2.exe"} << L{"Pellimantor.2.exe"} << "2";
    QTest::newRow("many leading empty parts vanish") << L{"Pellimantor....2.exe"} << L{"Pellimantor.2.exe"} << "2";
    QTest::newRow("trailing empty part stays") << L{"Pellimantor.2..exe"} << L{"Pellimantor.2..exe"} << "2.";
    QTest::newRow("empty version") << L{"Pellimantor..exe"} << L{"Pellimantor..exe"} << "";
    QTest::newRow("equal versions: later listed wins")
        << L{"Pellimantor.2.0.exe", "Pellimantor.2.exe"} << L{"Pellimantor.2.0.exe", "Pellimantor.2.exe"} << "2";
    QTest::newRow("word version beaten by later 0.0") << L{"Pellimantor.beta.exe", "Pellimantor.zz.0.exe"}
                                                      << L{"Pellimantor.beta.exe", "Pellimantor.zz.0.exe"} << "zz.0";
    QTest::newRow("word version kept when older follows")
        << L{"Pellimantor.beta.exe", "Pellimantor.-1.exe"} << L{"Pellimantor.beta.exe", "Pellimantor.-1.exe"} << "beta";
    QTest::newRow("newer earlier entry beats later equal-to-zero")
        << L{"Pellimantor.1.exe", "Pellimantor.beta.exe"} << L{"Pellimantor.1.exe", "Pellimantor.beta.exe"} << "1";
    QTest::newRow("below zero never chosen") << L{"Pellimantor.-1.exe"} << L{"Pellimantor.-1.exe"} << "0.0";
    QTest::newRow("duplicates kept") << L{"Pellimantor.1.2.dll", "Pellimantor.1.2.exe"}
                                     << L{"Pellimantor.1.2.exe", "Pellimantor.1.2.exe"} << "1.2";
    QTest::newRow("backup copy gives its own version")
        << L{"Pellimantor.1.2.3.exe", "Pellimantor.1.2.3.exe.bak"}
        << L{"Pellimantor.1.2.3.exe", "Pellimantor.1.2.3.exe.exe"} << "1.2.3.exe";
    QTest::newRow("space stays in the version") << L{"Pellimantor.2.1 2.exe"} << L{"Pellimantor.2.1 2.exe"} << "2.1 2";
}

void DiscoveryTest::selection()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, candidates);
    QFETCH(QString, chosen);

    QString chosenVersion = QStringLiteral("0.0");
    QStringList foundCandidates;
    selectRelease(listed, &chosenVersion, &foundCandidates);
    QCOMPARE(foundCandidates, candidates);
    QCOMPARE(chosenVersion, chosen);
}

void DiscoveryTest::listing()
{
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QStringList files{"Pellimantor.1.9.exe", "Pellimantor.1.10.exe", "pellimantor.1.5.EXE",
                            "PellimantorSetup.3.1.exe", "Pellimantor.exe", "Other.2.exe", "xPellimantor.4.exe"};
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name + QStringLiteral(": ") + file.errorString()));
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("PELLIMANTOR.3.0")));

    // Ordered by the lower-cased names, character by character.
    const QStringList expected{"Pellimantor.1.10.exe", "pellimantor.1.5.EXE", "Pellimantor.1.9.exe",
                               "PELLIMANTOR.3.0", "Pellimantor.exe", "PellimantorSetup.3.1.exe"};
    QCOMPARE(listReleases(QDir(dir.path())), expected);
    QCOMPARE(listReleases(QDir(dir.filePath(QStringLiteral("missing")))), QStringList());
}

QTEST_APPLESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
