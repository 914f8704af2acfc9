// Fuzz target for discovery: the input is a listing, one name per line, with
// any bytes a file name can hold, decoded as file names are. Discovery must
// not crash; the candidates must be those that splitting each name at every
// dot and rejoining the middle parts gives (the plain way of taking a name
// apart, kept here as the reference); and the chosen version is the same as
// or newer than "0.0" and every candidate's version, and is the version of
// the last candidate among its equals.

#include "discovery.h"
#include "version_order.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

// The candidate of one listed name, or nothing for a name of two parts or fewer.
static QStringList referenceCandidate(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() <= 2)
        return {};
    QString version;
    for (int i = 1; i < parts.size() - 1; ++i) {
        if (!version.isEmpty())
            version.append(QLatin1Char('.'));
        version.append(parts.at(i));
    }
    return {releaseFileName(version)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QStringList listed;
    QStringList expected;
    for (const QByteArray &line : bytes.split('\n')) {
        listed.append(QFile::decodeName(line));
        expected.append(referenceCandidate(listed.last()));
    }

    QString chosen = QStringLiteral("0.0");
    QStringList candidates;
    selectRelease(listed, &chosen, &candidates);

    if (candidates != expected || !isSameOrNewer(QStringLiteral("0.0"), chosen))
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
