// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// Pellimantor launcher: starts the newest release found in the working
// directory and then deletes the releases it supersedes. It takes no
// arguments, prints nothing and always exits with status 1.

#include "discovery.h"
#include "identity.h"
#include "launch.h"
#include "removal.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstdlib>

int main(int, char **)
{
    const QDir directory(QStringLiteral("."));
    QString chosenVersion = QStringLiteral("0.0");
    QStringList candidates;

    selectRelease(listReleases(directory), &chosenVersion, &candidates);
    // A newest release that is the launcher's own file (a link or a copy of
    // it) would start the launcher again, and that one again, without end:
    // nothing is started and nothing removed. Superseded releases go only once
    // the newest has started: when it cannot start, they are what still works.
    // The outcome is reported nowhere.
    if (!isLauncherItself(releaseFileName(chosenVersion)) && startRelease(chosenVersion))
        removeSuperseded(candidates, chosenVersion);
    // Ends without taking the lists apart: the system reclaims the memory in
    // one go, where freeing thousands of names one by one only costs time.
    std::exit(1);
}
