// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "identity.h"

#include "mark.h"

bool isLauncher(HeldFile file, const FileIdentity &identity, qint64 size, const QVector<FileIdentity> &ownFiles)
{
    // A link to the running program's file is the launcher even where its
    // mark was lost; a file whose headers cannot be read is not told apart.
    return ownFiles.contains(identity) || readMark(file, size) != Mark::Absent;
}
