// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef IDENTITY_H
#define IDENTITY_H

#include <QPair>
#include <QString>
#include <QVector>

// Which file a name reaches, links followed, as the file system identifies it.
using FileIdentity = QPair<quint64, quint64>;

// A file held open for reading: a descriptor on Unix, a handle on Windows.
using HeldFile = qintptr;

// Reads the identity of the file `name` reaches; false when it reaches no
// file or cannot be asked.
bool readIdentity(const QString &name, FileIdentity *identity);

// The identities of the running program's own file, by every path that may
// name it. Call it before the program opens any file: one such path is
// /dev/fd/N, which names another file once N is reused.
QVector<FileIdentity> readOwnIdentities();

// Opens `name` for reading, without blocking, if it reaches a regular file,
// and gives its identity and size. Until it is let go, on Windows no one may
// write, rename or remove it; the system may still run it.
bool holdRegularFile(const QString &name, HeldFile *file, FileIdentity *identity, qint64 *size);

// Reads `size` bytes of `file` at `offset` into `bytes`; false if it cannot.
bool readAt(HeldFile file, qint64 offset, char *bytes, qint64 size);

// Closes a file that holdRegularFile opened.
void letGo(HeldFile file);

// Returns whether `file`, the held release of identity `identity` and
// `size` bytes, is the launcher: it carries the launcher's mark, or is the
// running program's own file (one of `ownFiles`); when that cannot be told, yes.
bool isLauncher(HeldFile file, const FileIdentity &identity, qint64 size, const QVector<FileIdentity> &ownFiles);

#endif
