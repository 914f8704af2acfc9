// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef VERSION_ORDER_H
#define VERSION_ORDER_H

#include <QString>

// Returns whether `candidate` is the same version as `current` or newer,
// comparing dot-separated components as QString::toInt reads them (0 when
// invalid), missing trailing components counting as 0.
bool isSameOrNewer(const QString &current, const QString &candidate);

#endif
