// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "removal.h"

#include "discovery.h"

#include <QFile>

void removeSuperseded(const QStringList &candidates, const QString &chosenVersion)
{
    const QString keptName = releaseFileName(chosenVersion);
    // Without the kept release's identity no candidate can be told apart from it.
    FileIdentity kept;
    if (!readIdentity(keptName, &kept))
        return;
    for (const QString &candidate : candidates) {
        if (candidate.compare(keptName, Qt::CaseSensitive) != 0 && isWorthRemoving(candidate, kept))
            QFile::remove(candidate);
    }
}
