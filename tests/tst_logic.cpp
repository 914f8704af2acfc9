// Discovery and the version ordering in one table: each row a listing, in
// listing order, and the candidates and the version chosen from it. The
// rows of two releases decide the ordering of their two versions.

#include "discovery.h"

#include <QtTest>

class LogicTest : public QObject
{
    Q_OBJECT

private slots:
    void selection_data();
    void selection();
};

void LogicTest::selection_data()
{
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("empty listing") << "" << "" << "0.0";
    QTest::newRow("numeric, not text: 10 > 9") << "Pellimantor.1.10.exe,Pellimantor.1.9.exe,Pellimantor.exe" << "Pellimantor.1.10.exe,Pellimantor.1.9.exe" << "1.10";
    QTest::newRow("numeric, not text: 9 < 10") << "Pellimantor.1.9.exe,Pellimantor.1.10.exe" << "Pellimantor.1.9.exe,Pellimantor.1.10.exe" << "1.10";
    QTest::newRow("equal: later listed wins") << "Pellimantor.2.exe,Pellimantor.2.0.exe" << "Pellimantor.2.exe,Pellimantor.2.0.exe" << "2.0";
    QTest::newRow("equal, reversed") << "Pellimantor.2.0.exe,Pellimantor.2.exe" << "Pellimantor.2.0.exe,Pellimantor.2.exe" << "2";
    QTest::newRow("longer and newer") << "Pellimantor.1.2.exe,Pellimantor.1.2.0.1.exe" << "Pellimantor.1.2.exe,Pellimantor.1.2.0.1.exe" << "1.2.0.1";
    QTest::newRow("shorter and older") << "Pellimantor.1.2.1.exe,Pellimantor.1.2.exe" << "Pellimantor.1.2.1.exe,Pellimantor.1.2.exe" << "1.2.1";
    QTest::newRow("no extension, other case and prefix") << "Pellimantor.2.0,pellimantor.1.5.EXE,PellimantorSetup.3.1.exe" << "Pellimantor.2.exe,Pellimantor.1.5.exe,Pellimantor.3.1.exe" << "3.1";
    QTest::newRow("leading empty parts vanish") << "Pellimantor....2.exe" << "Pellimantor.2.exe" << "2";
    QTest::newRow("trailing empty part stays") << "Pellimantor.2.1.exe,Pellimantor.2..exe" << "Pellimantor.2.1.exe,Pellimantor.2..exe" << "2.1";
    QTest::newRow("empty version") << "Pellimantor..exe" << "Pellimantor..exe" << "";
    QTest::newRow("empty component counts as 0") << "Pellimantor.2..1.exe,Pellimantor.2.0.1.exe" << "Pellimantor.2..1.exe,Pellimantor.2.0.1.exe" << "2.0.1";
    QTest::newRow("word counts as 0") << "Pellimantor.1.exe,Pellimantor.beta.exe,Pellimantor.1.x.exe" << "Pellimantor.1.exe,Pellimantor.beta.exe,Pellimantor.1.x.exe" << "1.x";
    QTest::newRow("word kept when older follows") << "Pellimantor.beta.exe,Pellimantor.-1.exe" << "Pellimantor.beta.exe,Pellimantor.-1.exe" << "beta";
    QTest::newRow("below zero never chosen") << "Pellimantor.-1.exe" << "Pellimantor.-1.exe" << "0.0";
    QTest::newRow("0 is above negative") << "Pellimantor.1.-1.exe,Pellimantor.1.exe" << "Pellimantor.1.-1.exe,Pellimantor.1.exe" << "1";
    QTest::newRow("010 is ten, not octal") << "Pellimantor.9.exe,Pellimantor.010.exe" << "Pellimantor.9.exe,Pellimantor.010.exe" << "010";
    QTest::newRow("sign and blanks around accepted") << "Pellimantor.4.exe,Pellimantor. +5 .exe" << "Pellimantor.4.exe,Pellimantor. +5 .exe" << " +5 ";
    QTest::newRow("blank inside, letters, hexadecimal invalid") << "Pellimantor.1.exe,Pellimantor.5 5.exe,Pellimantor.2a.exe,Pellimantor.0x10.exe" << "Pellimantor.1.exe,Pellimantor.5 5.exe,Pellimantor.2a.exe,Pellimantor.0x10.exe" << "1";
    QTest::newRow("largest int") << "Pellimantor.2147483646.exe,Pellimantor.2147483647.exe" << "Pellimantor.2147483646.exe,Pellimantor.2147483647.exe" << "2147483647";
    QTest::newRow("beyond int counts as 0") << "Pellimantor.1.exe,Pellimantor.2147483648.exe,Pellimantor.4294967295.exe,Pellimantor.99999999999999999999.exe" << "Pellimantor.1.exe,Pellimantor.2147483648.exe,Pellimantor.4294967295.exe,Pellimantor.99999999999999999999.exe" << "1";
    QTest::newRow("below smallest int counts as 0") << "Pellimantor.1.-2147483648.exe,Pellimantor.1.-2147483649.exe" << "Pellimantor.1.-2147483648.exe,Pellimantor.1.-2147483649.exe" << "1.-2147483649";
    QTest::newRow("non-ASCII digits invalid") << QString::fromUtf8("Pellimantor.1.exe,Pellimantor.\xd9\xa3.exe") << QString::fromUtf8("Pellimantor.1.exe,Pellimantor.\xd9\xa3.exe") << "1";
    QTest::newRow("duplicates kept") << "Pellimantor.1.2.dll,Pellimantor.1.2.exe" << "Pellimantor.1.2.exe,Pellimantor.1.2.exe" << "1.2";
    QTest::newRow("backup gives its own version") << "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.bak" << "Pellimantor.1.2.3.exe,Pellimantor.1.2.3.exe.exe" << "1.2.3.exe";
}

void LogicTest::selection()
{
    QFETCH(QString, listed);
    QFETCH(QString, candidates);
    QFETCH(QString, chosen);
    QString chosenVersion = QStringLiteral("0.0");
    QStringList found;
    selectRelease(listed.split(QLatin1Char(','), Qt::SkipEmptyParts), &chosenVersion, &found);
    QCOMPARE(found, candidates.split(QLatin1Char(','), Qt::SkipEmptyParts));
    QCOMPARE(chosenVersion, chosen);
}

QTEST_APPLESS_MAIN(LogicTest)
#include "tst_logic.moc"
