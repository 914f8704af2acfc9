// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef REMOVAL_H
#define REMOVAL_H

#include "identity.h"

#include <QString>
#include <QStringList>

// Deletes, in list order, every candidate other than the release file of
// `chosenVersion`, unless it reaches that file (docs/behaviour.md); none when
// that file's identity cannot be read. Call it only once that release started.
void removeSuperseded(const QStringList &candidates, const QString &chosenVersion);

// Returns whether `candidate` is to be removed, given the kept release's identity.
bool isWorthRemoving(const QString &candidate, const FileIdentity &kept);

#endif
