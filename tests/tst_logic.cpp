// The version ordering and the reading of listed names, in tables: the cases
// that decide which release a real folder starts and which it loses.

#include "discovery.h"
#include "version_order.h"

#include <QtTest>

class LogicTest : public QObject
{
    Q_OBJECT

private slots:
    void order_data();
    void order();
    void selection_data();
    void selection();
    void listing();
};

static QStringList list(const QString &text)
{
    return text.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void LogicTest::order_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("sameOrNewer");
    QTest::newRow("numeric, not text: 9 < 10") << "1.10" << "1.9" << false;
    QTest::newRow("numeric, not text: 10 > 9") << "1.9" << "1.10" << true;
    QTest::newRow("missing component is 0") << "2.0" << "2" << true;
    QTest::newRow("missing component is 0, reversed") << "2" << "2.0" << true;
    QTest::newRow("longer and newer") << "1.2" << "1.2.0.1" << true;
    QTest::newRow("shorter and older") << "1.2.1" << "1.2" << false;
    QTest::newRow("later component decides") << "1.2.3.4.5" << "1.2.3.4.6" << true;
    QTest::newRow("word counts as 0") << "0.0" << "beta" << true;
    QTest::newRow("word is older than 1") << "1" << "beta" << false;
    QTest::newRow("1.x equals 1.0") << "1.x" << "1.0" << true;
    QTest::newRow("empty component counts as 0") << "2.0.1" << "2..1" << true;
    QTest::newRow("trailing dot") << "2.1" << "2." << false;
    QTest::newRow("negative is below 0") << "0.0" << "-1" << false;
    QTest::newRow("0 is above negative") << "1.-1" << "1" << true;
    QTest::newRow("leading zeros: 010 is ten, not octal") << "9" << "010" << true;
    QTest::newRow("plus sign and surrounding blanks accepted") << "4" << " +5 " << true;
    QTest::newRow("inner blank invalid") << "1" << "5 5" << false;
    QTest::newRow("digits and letters invalid") << "1" << "2a" << false;
    QTest::newRow("hexadecimal invalid") << "1" << "0x10" << false;
    QTest::newRow("largest int") << "2147483646" << "2147483647" << true;
    QTest::newRow("beyond int counts as 0") << "1" << "2147483648" << false;
    QTest::newRow("unsigned range counts as 0") << "1" << "4294967295" << false;
    QTest::newRow("far beyond int counts as 0") << "1" << "99999999999999999999" << false;
    QTest::newRow("smallest int") << "0" << "-2147483648" << false;
    QTest::newRow("below smallest int counts as 0") << "-1" << "-2147483649" << true;
    QTest::newRow("non-ASCII digits invalid") << "1" << QString::fromUtf8("\xd9\xa3") << false;
}

void LogicTest::order()
{
    QFETCH(QString, current);
    QFETCH(QString, candidate);
    QFETCH(bool, sameOrNewer);
    QVERIFY2(isSameOrNewer(current, candidate) == sameOrNewer,
             qPrintable(QStringLiteral("expected %1 %2 as new as %3").arg(candidate, sameOrNewer ? "to be" : "not to be", current)));
}

void LogicTest::selection_data()
{
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("empty listing") << "" << "" << "0.0";
    QTest::newRow("typical") << "Pellimantor.1.10.exe,Pellimantor.1.9.exe,Pellimantor.exe"
                             << "Pellimantor.1.10.exe,Pellimantor.1.9.exe" << "1.10";
    QTest::newRow("no extension") << "Pellimantor.2.0" << "Pellimantor.2.exe" << "2";
    QTest::newRow("other case and prefix") << "pellimantor.1.5.EXE,PellimantorSetup.3.1.exe"
                                          << "Pellimantor.1.5.exe,Pellimantor.3.1.exe" << "3.1";
    QTest::newRow("leading empty parts vanish") << "Pellimantor....2.exe" << "Pellimantor.2.exe" << "2";
    QTest::newRow("trailing empty part stays") << "Pellimantor.2..exe" << "Pellimantor.2..exe" << "2.";
    QTest::newRow("empty version") << "Pellimantor..exe" << "Pellimantor..exe" << "";
    QTest::newRow("equal versions: later listed wins") << "Pellimantor.2.exe,Pellimantor.2.0.exe"
                                                       << "Pellimantor.2.exe,Pellimantor.2.0.exe" << "2.0";
    QTest::newRow("word kept when an older one follows") << "Pellimantor.beta.exe,Pellimantor.-1.exe"
                                                         << "Pellimantor.beta.exe,Pellimantor.-1.exe" << "beta";
    QTest::newRow("newer earlier beats later zero") << "Pellimantor.1.exe,Pellimantor.beta.exe"
                                                    << "Pellimantor.1.exe,Pellimantor.beta.exe" << "1";
    QTest::newRow("below zero never chosen") << "Pellimantor.-1.exe" << "Pellimantor.-1.exe" << "0.0";
    QTest::newRow("duplicates kept") << "Pellimantor.1.2.dll,Pellimantor.1.2.exe"
                                     << "Pellimantor.1.2.exe,Pellimantor.1.2.exe" << "1.2";
    QTest::newRow("backup gives its own version") << "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.bak"
                                                  << "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.exe" << "1.2.3.exe";
}

void LogicTest::selection()
{
    QFETCH(QString, listed);
    QFETCH(QString, candidates);
    QFETCH(QString, chosen);
    QString chosenVersion = QStringLiteral("0.0");
    QStringList found;
    selectRelease(list(listed), &chosenVersion, &found);
    QCOMPARE(found, list(candidates));
    QCOMPARE(chosenVersion, chosen);
}

// The real listing: entries of every kind, matched and sorted ignoring case;
// hidden entries and other names left out.
void LogicTest::listing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    for (const QString &name : list(QStringLiteral("Pellimantor.1.9.exe,pellimantor.1.10.EXE,PELLIMANTOR.2,Other.3.exe,.Pellimantor.4.exe")))
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Pellimantor.3.0")));
    QCOMPARE(listReleases(QDir(dir.path())), list(QStringLiteral("pellimantor.1.10.EXE,Pellimantor.1.9.exe,PELLIMANTOR.2,Pellimantor.3.0")));
}

QTEST_APPLESS_MAIN(LogicTest)
#include "tst_logic.moc"
