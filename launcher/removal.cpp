// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "removal.h"

#include "discovery.h"
#include "identity.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <errno.h>
#include <sys/stat.h>
#endif

#ifdef Q_OS_WIN
// A candidate whose identity cannot be read, or that names nothing, stays.
static bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    FileIdentity identity;
    return readIdentity(candidate, &identity) && identity != kept;
}
#else
static bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    // A name that reaches nothing, not even a dangling link, is passed over:
    // asking Qt to remove it builds a file object and an error text for
    // nothing, much of the time in a folder of many superseded versions.
    struct stat status;
    if (::lstat(QFile::encodeName(candidate).constData(), &status) != 0)
        return errno != ENOENT;
    // A dangling link reaches no file, so not the kept one either.
    FileIdentity identity;
    return !readIdentity(candidate, &identity) || identity != kept;
}
#endif

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
