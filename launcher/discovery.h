// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef DISCOVERY_H
#define DISCOVERY_H

#include <QDir>
#include <QString>
#include <QStringList>

// Returns "Pellimantor." + version + ".exe", a bare name in the working directory.
QString releaseFileName(const QString &version);

// Returns the names in `directory` that match "Pellimantor*" in any letter
// case, hidden entries left out, sorted by name ignoring case.
QStringList listReleases(const QDir &directory);

// Appends the release file name of each listed name of three or more
// dot-separated parts to `candidates`, and sets `chosenVersion` to each
// version that is the same as or newer than it, in list order.
void selectRelease(const QStringList &listedNames, QString *chosenVersion, QStringList *candidates);

#endif
