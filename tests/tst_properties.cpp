// Properties of the version ordering, the choice of release and the removal,
// checked over many generated inputs (fixed seeds, so failures repeat).

#include "discovery.h"
#include "removal.h"
#include "version_order.h"

#include <QtTest>

using Components = QVector<qint64>;

class PropertiesTest : public QObject
{
    Q_OBJECT

private slots:
    void orderingAgreesWithNumbers();
    void orderingIsReflexiveTotalAndTransitive();
    void choiceIsNewestAndLastOfEquals();
    void keptReleaseIsNeverRemoved();
};

// A version as numbers, and one of the many texts that spell it.
struct Spelling
{
    Components value;
    QString text;
};

static Spelling randomVersion(QRandomGenerator &random)
{
    static const qint64 edges[] = {0, 1, 9, 10, -1, 2147483647, -2147483647 - 1};
    Spelling version;
    QStringList components;
    const int count = random.bounded(1, 6);
    for (int i = 0; i < count; ++i) {
        const int kind = random.bounded(10);
        qint64 number = kind < 5 ? random.bounded(20) : edges[random.bounded(7)];
        QString text = QString::number(number);
        if (kind == 7) // spelled with a sign, leading zeros or surrounding blanks
            text = (number >= 0 ? QStringLiteral("+00") : QStringLiteral(" ")) + text + QLatin1Char(' ');
        if (kind == 8) { // not a number at all
            text = QStringList{QStringLiteral("beta"), QString(), QStringLiteral("2a"), QStringLiteral("1e3")}.at(random.bounded(4));
            number = 0;
        }
        if (kind == 9) { // out of range: counts as 0
            text = QString::number(qint64(2147483648LL) + random.bounded(1000));
            number = 0;
        }
        version.value.append(number);
        components.append(text);
    }
    version.text = components.join(QLatin1Char('.'));
    return version;
}

// -1, 0 or 1 as a is older than, equal to or newer than b, missing components being 0.
static int compareNumbers(const Components &a, const Components &b)
{
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        const qint64 x = a.value(i, 0);
        const qint64 y = b.value(i, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

void PropertiesTest::orderingAgreesWithNumbers()
{
    QRandomGenerator random(1);
    for (int i = 0; i < 20000; ++i) {
        const Spelling a = randomVersion(random);
        const Spelling b = randomVersion(random);
        const bool expected = compareNumbers(b.value, a.value) >= 0;
        QVERIFY2(isSameOrNewer(a.text, b.text) == expected,
                 qPrintable(QStringLiteral("\"%1\" against \"%2\": expected %3").arg(b.text, a.text).arg(expected)));
    }
}

void PropertiesTest::orderingIsReflexiveTotalAndTransitive()
{
    QRandomGenerator random(2);
    QStringList versions;
    for (int i = 0; i < 60; ++i)
        versions.append(randomVersion(random).text);
    for (const QString &a : versions) {
        QVERIFY2(isSameOrNewer(a, a), qPrintable(a));
        for (const QString &b : versions) {
            QVERIFY2(isSameOrNewer(a, b) || isSameOrNewer(b, a), qPrintable(a + QStringLiteral(" / ") + b));
            for (const QString &c : versions) {
                if (isSameOrNewer(a, b) && isSameOrNewer(b, c))
                    QVERIFY2(isSameOrNewer(a, c), qPrintable(a + QStringLiteral(" <= ") + b + QStringLiteral(" <= ") + c));
            }
        }
    }
}

static QString randomListedName(QRandomGenerator &random, QString *version)
{
    static const char *const prefixes[] = {"Pellimantor.", "pellimantor.", "PellimantorSetup.", "Pellimantor.."};
    static const char *const suffixes[] = {".exe", ".EXE", ".zip", ".exe.bak", ""};
    *version = randomVersion(random).text;
    return QLatin1String(prefixes[random.bounded(4)]) + *version + QLatin1String(suffixes[random.bounded(5)]);
}

void PropertiesTest::choiceIsNewestAndLastOfEquals()
{
    QRandomGenerator random(3);
    for (int round = 0; round < 2000; ++round) {
        QStringList listed;
        QString ignored;
        for (int i = random.bounded(12); i > 0; --i)
            listed.append(randomListedName(random, &ignored));
        QString chosen = QStringLiteral("0.0");
        QStringList candidates;
        selectRelease(listed, &chosen, &candidates);

        // Each candidate carries the version it was recognised with.
        int from = -1;
        for (int i = 0; i < candidates.size(); ++i) {
            const QString version = candidates.at(i).mid(12, candidates.at(i).size() - 16);
            QVERIFY2(isSameOrNewer(version, chosen), qPrintable(chosen + QStringLiteral(" is older than ") + version));
            if (isSameOrNewer(chosen, version))
                from = i;
        }
        QVERIFY2(isSameOrNewer(QStringLiteral("0.0"), chosen), qPrintable(chosen));
        if (chosen != QStringLiteral("0.0") || from >= 0)
            QVERIFY2(from >= 0 && candidates.at(from) == releaseFileName(chosen),
                     qPrintable(QStringLiteral("%1 is not the last of its equals in %2").arg(chosen, candidates.join(QLatin1Char(',')))));
    }
}

void PropertiesTest::keptReleaseIsNeverRemoved()
{
    QRandomGenerator random(4);
    const QString start = QDir::currentPath();
    for (int round = 0; round < 200; ++round) {
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        QStringList versions;
        for (int i = random.bounded(1, 8); i > 0; --i) {
            QString version;
            QFile(dir.filePath(randomListedName(random, &version))).open(QIODevice::WriteOnly);
            versions.append(version);
        }
        QVERIFY(QDir::setCurrent(dir.path()));
        QString chosen = QStringLiteral("0.0");
        QStringList candidates;
        selectRelease(listReleases(QDir(QStringLiteral("."))), &chosen, &candidates);
        const QString kept = releaseFileName(chosen);
        const bool keptExisted = QFileInfo(kept).isFile();
        const QStringList before = QDir().entryList(QDir::Files);
        removeSuperseded(candidates, chosen);
        const QStringList after = QDir().entryList(QDir::Files);
        QVERIFY(QDir::setCurrent(start));

        QVERIFY2(!keptExisted || after.contains(kept), qPrintable(kept + QStringLiteral(" removed from ") + before.join(QLatin1Char(','))));
        // Only candidates go, and none at all when the kept release is missing.
        for (const QString &name : before) {
            if (!after.contains(name))
                QVERIFY2(keptExisted && candidates.contains(name), qPrintable(name + QStringLiteral(" removed, kept ") + kept));
        }
    }
}

QTEST_APPLESS_MAIN(PropertiesTest)
#include "tst_properties.moc"
