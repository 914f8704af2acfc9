// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "discovery.h"

#include "version_order.h"

#include <QStringBuilder>
#include <QVector>

QString releaseFileName(const QString &version)
{
    // Built in one allocation of the final size.
    return QLatin1String("Pellimantor.") % version % QLatin1String(".exe");
}

QStringList listReleases(const QDir &directory)
{
    // Files, folders and links to either, hidden ones left out; by name, letter case ignored.
    return directory.entryList(QStringList(QStringLiteral("Pellimantor*")), QDir::AllEntries,
                               QDir::Name | QDir::IgnoreCase);
}

Selection selectRelease(const QStringList &listedNames)
{
    QString chosenVersion = QStringLiteral("0.0");
    // Every candidate goes in, in listing order; those of the chosen name
    // leave once it is known. At most one per listed name: the list grows once.
    Selection chosen;
    chosen.superseded.reserve(listedNames.size());
    // Where a version was taken as the chosen one: only there can the kept
    // name stand, since a later candidate of the chosen text is taken too.
    QVector<int> takenAt;
    for (const QString &name : listedNames) {
        // Split at the dots, the middle parts rejoined are exactly the text
        // between the first and the last dot; the first part (product word) and
        // the last (extension) are dropped. The launcher's own "Pellimantor.exe"
        // has one dot only and carries no version.
        const int first = name.indexOf(QLatin1Char('.'));
        const int last = name.lastIndexOf(QLatin1Char('.'));
        if (first < 0 || first == last)
            continue;
        // A separator joins parts only once the text is non-empty, so empty
        // parts at the front, that is dots right after the first, vanish.
        int start = first + 1;
        while (start < last && name.at(start) == QLatin1Char('.'))
            ++start;
        // A view of the version text inside the listed name, copied only when chosen.
        const QString version = QString::fromRawData(name.constData() + start, last - start);
        chosen.superseded.append(releaseFileName(version));
        if (isSameOrNewer(chosenVersion, version)) {
            chosenVersion = QString(version.constData(), version.size());
            takenAt.append(chosen.superseded.size() - 1);
        }
    }
    chosen.release = releaseFileName(chosenVersion);
    // Every candidate of exactly the kept name is the kept release, duplicates included.
    for (int i = takenAt.size() - 1; i >= 0; --i) {
        if (chosen.superseded.at(takenAt.at(i)).compare(chosen.release, Qt::CaseSensitive) == 0)
            chosen.superseded.removeAt(takenAt.at(i));
    }
    return chosen;
}
