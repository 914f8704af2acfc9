// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "removal.h"

#include <QFile>

#include <errno.h>
#include <sys/stat.h>

bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    // A name that reaches nothing, not even a dangling link, is passed over
    // without asking Qt (see docs/benchmark.md).
    struct stat status;
    if (::lstat(QFile::encodeName(candidate).constData(), &status) != 0)
        return errno != ENOENT;
    // A dangling link reaches no file, so not the kept one either.
    FileIdentity identity;
    return !readIdentity(candidate, &identity) || identity != kept;
}
