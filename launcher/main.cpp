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
#include <QtGlobal>
#include <QString>
#include <QStringList>

#include <cstdlib>

// Qt's warnings go nowhere: the launcher prints nothing, on any input, and
// on Windows writes nothing to a debugger either.
static void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

int main(int, char **)
{
    qInstallMessageHandler(dropMessage);
    const QDir directory(QStringLiteral("."));
    QString chosenVersion = QStringLiteral("0.0");
    QStringList candidates;

    selectRelease(listReleases(directory), &chosenVersion, &candidates);
    // A newest release that is, or may be, the launcher's own file would start
    // the launcher again: nothing is started and nothing removed. Superseded
    // releases go only once the newest has started. Nothing is reported.
    if (!isLauncherItself(releaseFileName(chosenVersion)) && startRelease(chosenVersion))
        removeSuperseded(candidates, chosenVersion);
    // Ends without freeing the lists one name at a time (docs/benchmark.md).
    std::exit(1);
}
