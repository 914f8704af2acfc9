// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef DISCOVERY_H
#define DISCOVERY_H

#include <QDir>
#include <QString>
#include <QStringList>

// Returns the release file name of a version text: "Pellimantor." + version + ".exe".
// A bare name, relative to the working directory; the same on every platform.
QString releaseFileName(const QString &version);

// Returns the names of the entries of `directory` that match "Pellimantor*",
// entries of every kind but hidden ones (Unix: names starting with a dot, and
// FIFOs, sockets, device files and dangling links; Windows: the hidden
// attribute, while system entries are listed), matched without regard to
// letter case and sorted by name ignoring case. An unreadable directory gives
// an empty list.
QStringList listReleases(const QDir &directory);

// Goes through `listedNames` in order. Each name of three or more dot-separated
// parts is a release: its middle parts form its version text, the release file
// name of that text is appended to `candidates`, and the text replaces
// `chosenVersion` when it is the same as or newer than it, so the later of two
// equal versions wins. Names of two parts or fewer are passed over.
void selectRelease(const QStringList &listedNames, QString *chosenVersion, QStringList *candidates);

#endif
