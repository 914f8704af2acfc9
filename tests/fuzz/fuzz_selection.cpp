// Fuzz target: the input is a listing, one name per line, any bytes, decoded
// as file names are. Discovery and the version ordering walk the texts in
// place; they must not crash and must give exactly what the plain way gives,
// kept here as the reference: split each name at every dot and rejoin the
// middle parts as the version, split versions at every dot and compare the
// components' QString::toInt values, missing ones being 0.

#include "discovery.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

static bool plainIsSameOrNewer(const QStringList &current, const QStringList &candidate)
{
    for (int i = 0; i < qMax(current.size(), candidate.size()); ++i) {
        if (candidate.value(i).toInt() != current.value(i).toInt())
            return candidate.value(i).toInt() > current.value(i).toInt();
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList listed, candidates, expected;
    QString chosen = QStringLiteral("0.0"), expectedChosen = chosen;
    for (const QByteArray &line : QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\n')) {
        listed.append(QFile::decodeName(line));
        const QStringList parts = listed.last().split(QLatin1Char('.'));
        QString version;
        for (int i = 1; i < parts.size() - 1; ++i)
            version += (version.isEmpty() ? QString() : QStringLiteral(".")) + parts.at(i);
        if (parts.size() > 2)
            expected.append(releaseFileName(version));
        if (parts.size() > 2 && plainIsSameOrNewer(expectedChosen.split(QLatin1Char('.')), version.split(QLatin1Char('.'))))
            expectedChosen = version;
    }
    selectRelease(listed, &chosen, &candidates);
    if (candidates != expected || chosen != expectedChosen)
        abort();
    return 0;
}
