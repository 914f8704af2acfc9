// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// Pellimantor launcher: starts the newest release found in the working
// directory and then deletes the releases it supersedes. It takes no
// arguments, prints nothing and always exits with status 1.

#include "discovery.h"
#include "identity.h"
#include "launch.h"
#include "mark.h"
#include "removal.h"

#include <QDir>
#include <QtGlobal>
#include <QString>

#include <cstdlib>

// What makes any build of this program the launcher to another launcher
// (mark.h): an ELF note section, which the link puts in a PT_NOTE segment,
// or on Windows a section of its own.
#ifdef Q_OS_WIN
__attribute__((section(".plmark"), aligned(4)))
#else
__attribute__((section(".note.pellimantor"), aligned(4)))
#endif
static const LauncherMark mark = launcherMark;

// Qt's warnings go nowhere: the launcher prints nothing, on any input, and
// on Windows writes nothing to a debugger either.
static void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

int main(int, char **)
{
    // The code refers to the mark, so that no link drops it as unused.
    asm volatile("" : : "r"(&mark));
    // Before anything is opened, while a /dev/fd path still names the program.
    const QVector<FileIdentity> ownFiles = readOwnIdentities();
    qInstallMessageHandler(dropMessage);
    const Selection chosen = selectRelease(listReleases(QDir(QStringLiteral("."))));

    // The newest release is checked and started as one file, held open from
    // the check until the removal is done, so that no other file can take its
    // place, nor its identity once freed. A release that is, or may be, the
    // launcher would start the launcher again: nothing is started and nothing
    // removed. Superseded releases go only once the newest has started, and
    // only if it is still the file checked. Nothing is reported.
    HeldFile release;
    FileIdentity identity;
    qint64 size;
    if (holdRegularFile(chosen.release, &release, &identity, &size)) {
        if (!isLauncher(release, identity, size, ownFiles) && startRelease(chosen.release))
            removeSuperseded(chosen.superseded, chosen.release, identity);
        letGo(release);
    }
    // Ends without freeing the lists one name at a time (docs/benchmark.md).
    std::exit(1);
}
