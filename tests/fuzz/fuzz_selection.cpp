// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// Fuzz target: the input is a listing, one name per line, any bytes, decoded
// as file names are. Discovery and the version ordering walk the texts in
// place; they must not crash and must give exactly what the plain way gives,
// kept here as the reference: split each name at every dot and join the
// middle parts as the version, a dot added only to a non-empty text; split
// versions at every dot and compare the components' QString::toInt values,
// missing ones being 0.

#include "discovery.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uchar *data, size_t size)
{
    QStringList listed, expected;
    QString expectedChosen = QStringLiteral("0.0");
    for (const QByteArray &line : QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\n')) {
        listed.append(QFile::decodeName(line));
        const QStringList parts = listed.last().split(QLatin1Char('.')), current = expectedChosen.split(QLatin1Char('.'));
        if (parts.size() < 3)
            continue;
        // A join that adds a dot only to a non-empty text drops leading empty parts.
        QStringList version = parts.mid(1, parts.size() - 2);
        while (!version.isEmpty() && version.first().isEmpty())
            version.removeFirst();
        expected.append(releaseFileName(version.join(QLatin1Char('.'))));
        int i = 0;
        while (i < qMax(version.size(), current.size()) && version.value(i).toInt() == current.value(i).toInt())
            ++i;
        if (version.value(i).toInt() >= current.value(i).toInt())
            expectedChosen = version.join(QLatin1Char('.'));
    }
    const Selection chosen = selectRelease(listed);
    const QString release = releaseFileName(expectedChosen);
    expected.removeAll(release);
    if (chosen.superseded != expected || chosen.release != release)
        qFatal("discovery gave %s and %s, the plain way %s and %s", qPrintable(chosen.release),
               qPrintable(chosen.superseded.join(QLatin1Char(','))), qPrintable(release), qPrintable(expected.join(QLatin1Char(','))));
    return 0;
}
