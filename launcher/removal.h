// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef REMOVAL_H
#define REMOVAL_H

#include <QString>
#include <QStringList>

// Deletes, in list order, every candidate release file other than the one of
// `chosenVersion` (the kept release), relative to the working directory. Call
// it only once the kept release has started. A candidate that reaches the
// kept release's own file, as the file system decides (another spelling where
// letter case does not count, a link either way, a hard link), is never
// removed; nor is any candidate when the kept release's identity cannot be
// read. Failed removals are ignored. Unix compares device and inode, links
// followed, and asks for no removal of a name that reaches nothing (a dangling
// link is removed); Windows compares volume serial number and file index,
// links followed, and leaves a candidate whose identity cannot be read.
void removeSuperseded(const QStringList &candidates, const QString &chosenVersion);

#endif
