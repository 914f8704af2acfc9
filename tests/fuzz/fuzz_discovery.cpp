// Fuzz target for discovery: the input is a listing, one name per line, with
// any bytes a file name can hold, decoded as file names are. Discovery must
// not crash; every name of three or more dot-separated parts gives one
// candidate of the release name form, and the chosen version is the same as
// or newer than "0.0" and every candidate's version, and is the version of the
// last candidate among its equals.

#include "discovery.h"
#include "version_order.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QStringList listed;
    int releases = 0;
    for (const QByteArray &line : bytes.split('\n')) {
        listed.append(QFile::decodeName(line));
        releases += listed.last().count(QLatin1Char('.')) >= 2;
    }

    QString chosen = QStringLiteral("0.0");
    QStringList candidates;
    selectRelease(listed, &chosen, &candidates);

    if (candidates.size() != releases || !isSameOrNewer(QStringLiteral("0.0"), chosen))
        abort();
    int lastEqual = -1;
    for (int i = 0; i < candidates.size(); ++i) {
        const QString &candidate = candidates.at(i);
        if (!candidate.startsWith(QLatin1String("Pellimantor.")) || !candidate.endsWith(QLatin1String(".exe")))
            abort();
        const QString version = candidate.mid(12, candidate.size() - 16);
        if (!isSameOrNewer(version, chosen))
            abort();
        if (isSameOrNewer(chosen, version))
            lastEqual = i;
    }
    if (lastEqual >= 0 && candidates.at(lastEqual) != releaseFileName(chosen))
        abort();
    return 0;
}
