// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "removal.h"

#include <QFile>

void removeSuperseded(const QStringList &superseded, const QString &release, const FileIdentity &kept)
{
    // The file started must be the file checked: one renamed into its place
    // in between may be anything, the launcher too, so nothing goes.
    FileIdentity now;
    if (!readIdentity(release, &now) || now != kept)
        return;
    for (const QString &candidate : superseded) {
        if (isWorthRemoving(candidate, kept))
            QFile::remove(candidate);
    }
}
