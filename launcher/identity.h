// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef IDENTITY_H
#define IDENTITY_H

#include <QPair>
#include <QString>

class QFile;

// Which file a name reaches, links followed, as the file system identifies it.
using FileIdentity = QPair<quint64, quint64>;

// Reads the identity of the file `name` reaches, and its size when `size` is
// given. Returns false when it reaches no file or cannot be asked.
bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size = nullptr);

// Returns whether `name` is the launcher's own program file (the same file or
// a byte-for-byte copy), or may be: when that cannot be told, the answer is yes.
bool isLauncherItself(const QString &name);

// Returns whether `file`, open for reading, holds the running program's image:
// the bytes the system mapped from the program's file, unchanged.
bool holdsRunningImage(QFile *file);

// Returns the paths that may name the running program's file, best first.
QStringList ownFileCandidates();

#endif
