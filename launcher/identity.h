// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef IDENTITY_H
#define IDENTITY_H

#include <QPair>
#include <QString>

// Which file a name reaches, links followed: the file system's own answer, so
// another spelling or a link of the same file has the same identity.
using FileIdentity = QPair<quint64, quint64>;

// Reads which file `name` (relative to the working directory) reaches, and its
// size when `size` is given. Returns false when it reaches no file or cannot
// be asked. Unix: device and inode. Windows: volume serial number and file
// index, asked with no access rights and every share mode, so a running or
// locked file can still be asked.
bool readIdentity(const QString &name, FileIdentity *identity, qint64 *size = nullptr);

// Returns whether `name` is the launcher's own program file: the same file
// (a hard or symbolic link of it included) or a byte-for-byte copy (sizes are
// compared first, contents only when they match). The launcher's own file is
// /proc/self/exe on Linux and the module's path on Windows. False when either
// cannot be read.
bool isLauncherItself(const QString &name);

#endif
