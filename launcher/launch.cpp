// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "launch.h"

#include <QProcess>
#include <QStringList>

bool startRelease(const QString &release)
{
    // A program path with a directory part is never looked up in a search path;
    // an explicit empty argument list keeps the name from being split at spaces.
    return QProcess::startDetached(QStringLiteral("./") + release, QStringList());
}
