#ifndef LAUNCH_H
#define LAUNCH_H

#include <QString>

// Starts the release file of `version` from the working directory as a
// detached process, with no arguments, the launcher's working directory and
// environment, and returns whether the start succeeded. The program is named
// "./" + release file name, so no search path (PATH on Unix, the launcher's
// own folder and system folders on Windows) is consulted, and the whole name
// is the program even when it holds spaces.
bool startRelease(const QString &version);

#endif
