// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef LAUNCH_H
#define LAUNCH_H

#include <QString>

// Starts "./" + `release` as a detached process, with no arguments and the
// launcher's working directory and environment; returns whether it started
// (docs/behaviour.md says what counts as started).
bool startRelease(const QString &release);

#endif
