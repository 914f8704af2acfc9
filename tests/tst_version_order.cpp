#include "version_order.h"

#include <QtTest>

class VersionOrderTest : public QObject
{
    Q_OBJECT

private slots:
    void ordering_data();
    void ordering();
};

void VersionOrderTest::ordering_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("sameOrNewer");

    QTest::newRow("newer first component") << "0.0" << "1.10" << true;
    QTest::newRow("numeric, not text: 9 < 10") << "1.10" << "1.9" << false;
    QTest::newRow("numeric, not text: 10 > 9") << "1.9" << "1.10" << true;
    QTest::newRow("missing component is 0") << "2.0" << "2" << true;
    QTest::newRow("missing component is 0, reversed") << "2" << "2.0" << true;
    QTest::newRow("trailing zeros make no difference") << "1.2.0.0" << "1.2" << true;
    QTest::newRow("longer and newer") << "1.2" << "1.2.0.1" << true;
    QTest::newRow("shorter and older") << "1.2.1" << "1.2" << false;
    QTest::newRow("identical") << "3.4.5" << "3.4.5" << true;
    QTest::newRow("word counts as 0") << "0.0" << "beta" << true;
    QTest::newRow("word is older than 1") << "1" << "beta" << false;
    QTest::newRow("1.x equals 1.0") << "1.0" << "1.x" << true;
    QTest::newRow("1.0 equals 1.x") << "1.x" << "1.0" << true;
    QTest::newRow("empty text counts as 0") << "0.0" << "" << true;
    QTest::newRow("empty component counts as 0") << "2.0.1" << "2..1" << true;
    QTest::newRow("trailing dot") << "2.1" << "2." << false;
    QTest::newRow("negative is below 0") << "0.0" << "-1" << false;
    QTest::newRow("0 is above negative") << "1.-1" << "1" << true;
    QTest::newRow("leading zeros: 007 equals 7") << "7" << "007" << true;
    QTest::newRow("leading zeros: 010 is ten, not octal") << "9" << "010" << true;
    QTest::newRow("plus sign accepted") << "4" << "+5" << true;
    QTest::newRow("surrounding white space accepted") << "4" << " 5 " << true;
    QTest::newRow("inner white space invalid") << "1" << "5 5" << false;
    QTest::newRow("mixed digits and letters invalid") << "1" << "2a" << false;
    QTest::newRow("hexadecimal invalid in base 10") << "1" << "0x10" << false;
    QTest::newRow("exponent invalid") << "1" << "1e3" << false;
    QTest::newRow("largest int") << "2147483646" << "2147483647" << true;
    QTest::newRow("beyond int counts as 0") << "1" << "2147483648" << false;
    QTest::newRow("far beyond int counts as 0") << "1" << "99999999999999999999" << false;
    QTest::newRow("smallest int") << "0" << "-2147483648" << false;
    QTest::newRow("below smallest int counts as 0") << "-1" << "-2147483649" << true;
    QTest::newRow("non-ASCII digits invalid") << "1" << QString::fromUtf8("\xd9\xa3") << false;
    QTest::newRow("later component decides") << "1.2.3.4.5" << "1.2.3.4.6" << true;
}

void VersionOrderTest::ordering()
{
    QFETCH(QString, current);
    QFETCH(QString, candidate);
    QFETCH(bool, sameOrNewer);

    QVERIFY2(isSameOrNewer(current, candidate) == sameOrNewer,
             qPrintable(QStringLiteral("expected \"%1\" to be %2 \"%3\"")
                            .arg(candidate, sameOrNewer ? QStringLiteral("the same as or newer than")
                                                        : QStringLiteral("older than"),
                                 current)));
}

QTEST_APPLESS_MAIN(VersionOrderTest)
#include "tst_version_order.moc"
