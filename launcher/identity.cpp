// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include <QFile>
#include <QStringList>

#include <cstring>

// Whether two open files hold the same bytes; false when either cannot be read.
static bool haveSameContents(QFile *one, QFile *other)
{
    char chunk[65536], otherChunk[65536];
    one->seek(0);
    other->seek(0);
    for (;;) {
        const qint64 read = one->read(chunk, sizeof chunk);
        if (read < 0 || other->read(otherChunk, sizeof otherChunk) != read
            || std::memcmp(chunk, otherChunk, size_t(read)) != 0)
            return false;
        if (read == 0)
            return true;
    }
}

bool isLauncherItself(const QString &name)
{
    FileIdentity identity;
    qint64 size;
    // Nothing there, nothing to start: the start fails by itself.
    if (!readIdentity(name, &identity, &size))
        return false;
    QFile candidate(name);
    if (!candidate.open(QIODevice::ReadOnly))
        return true;
    // Most releases are other programs, told apart by their first bytes.
    if (!holdsRunningImage(&candidate))
        return false;
    // It runs as this program; only the launcher's own file, once shown to hold
    // the running image, tells a copy of it from a file that differs elsewhere.
    for (const QString &path : ownFileCandidates()) {
        QFile own(path);
        FileIdentity ownIdentity;
        qint64 ownSize;
        if (!own.open(QIODevice::ReadOnly) || !readIdentity(path, &ownIdentity, &ownSize) || !holdsRunningImage(&own))
            continue;
        return identity == ownIdentity || (size == ownSize && haveSameContents(&own, &candidate));
    }
    return true;
}
