// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef IDENTITY_H
#define IDENTITY_H

#include <QPair>
#include <QString>

class QFile;

// Which file a name reaches, links followed, as the file system identifies it.
using FileIdentity = QPair<quint64, quint64>;

// Reads the identity of the file `name` reaches, its size when `size` is given
// and whether it is a regular file when `regular` is given. Returns false when
// it reaches no file or cannot be asked.
bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size = nullptr, bool *regular = nullptr);

// Opens `name`, a regular file when it was asked, into `file` for reading,
// without blocking on whatever else may have taken its place; returns false
// when it cannot be opened or is no longer a regular file.
bool openRegularFile(QFile *file, const QString &name);

// Where the system mapped the running program's file: its headers, in memory.
const void *runningImage();

// Returns whether `name` is the launcher: a regular file that holds `image`, or
// the running program's own file by identity; when that cannot be told, yes.
bool isLauncherItself(const QString &name, const void *image = runningImage());

// Returns whether `file`, open for reading, holds `image`: the bytes that decide
// what runs (docs/behaviour.md), whatever else of the file differs.
bool holdsImage(QFile *file, const void *image);

// Returns the paths that may name the running program's file, best first.
QStringList ownFileCandidates();

#endif
