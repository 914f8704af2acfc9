// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>
#include <QStringList>

bool isLauncherItself(const QString &name, const void *image)
{
    FileIdentity identity;
    bool regular;
    // Nothing there, or nothing a program can be read from (a folder, a FIFO, a
    // device): it is not opened, and a start of it fails by itself.
    if (!readIdentity(name, &identity, nullptr, &regular) || !regular)
        return false;
    QFile candidate;
    if (!openRegularFile(&candidate, name))
        return true;
    // A file that cannot be read to the end of what it is compared on is not told apart.
    if (holdsImage(&candidate, image) || candidate.error() != QFileDevice::NoError)
        return true;
    // The launcher's own file, by identity alone: a link to it is the launcher
    // even where the image in memory no longer matches its file.
    const QStringList ownFiles = ownFileCandidates();
    for (const QString &path : ownFiles) {
        FileIdentity own;
        if (readIdentity(path, &own) && own == identity)
            return true;
    }
    return false;
}
