// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef LAUNCH_H
#define LAUNCH_H

#include <QString>

// Starts the release file of `version` from the working directory as a
// detached process, with no arguments, the launcher's working directory and
// environment, and returns whether the start succeeded: on Unix whether the
// program could be executed (Qt reports the exec error of its detached child:
// no such file, no permission, a folder, no runnable format, a file open for
// writing), on Windows whether CreateProcess succeeded. A release that starts
// and then fails on its own counts as started. The program is named
// "./" + release file name, so no search path (PATH on Unix, the launcher's
// own folder and system folders on Windows) is consulted, and the whole name
// is the program even when it holds spaces.
bool startRelease(const QString &version);

#endif
