// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef VERSION_ORDER_H
#define VERSION_ORDER_H

#include <QString>

// Returns true when `candidate` is the same version as `current` or newer,
// false when it is older. Both are dot-separated version texts; components are
// compared as base-10 integers (QString::toInt, so anything that is not a valid
// 32-bit integer counts as 0), and missing trailing components count as 0.
// The same on every platform.
bool isSameOrNewer(const QString &current, const QString &candidate);

#endif
