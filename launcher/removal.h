// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef REMOVAL_H
#define REMOVAL_H

#include "identity.h"

#include <QString>
#include <QStringList>

// Deletes, in list order, every superseded name that does not reach the kept
// release's file `kept` (docs/behaviour.md); none when `release` no longer
// reaches `kept`. Call it only once that release started, with it held.
void removeSuperseded(const QStringList &superseded, const QString &release, const FileIdentity &kept);

// Returns whether `candidate` is to be removed, given the kept release's identity.
bool isWorthRemoving(const QString &candidate, const FileIdentity &kept);

#endif
