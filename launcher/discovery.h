// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef DISCOVERY_H
#define DISCOVERY_H

#include <QDir>
#include <QString>
#include <QStringList>

// What discovery chose: the release file to start, and the release file
// names built from every other listed release, in listing order.
struct Selection
{
    QString release;
    QStringList superseded;
};

// Returns "Pellimantor." + version + ".exe", a bare name in the working directory.
QString releaseFileName(const QString &version);

// Returns the names in `directory` that match "Pellimantor*" in any letter
// case, hidden entries left out, sorted by name ignoring case.
QStringList listReleases(const QDir &directory);

// Takes each listed name of three or more dot-separated parts as a release
// and chooses the newest, the later-listed of equal ones, from "0.0" up.
Selection selectRelease(const QStringList &listedNames);

#endif
