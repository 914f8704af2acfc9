// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The release the launcher checks is the release it starts: held as the
// launcher holds it, RELEASE cannot be replaced by a rename of OTHER over it
// nor removed, and it still starts.
//   check_hold RELEASE OTHER   (both in the working directory)

#include "identity.h"
#include "launch.h"

#include <cstdio>
#include <windows.h>

int main(int argc, char **argv)
{
    HeldFile file;
    FileIdentity identity;
    qint64 size;
    if (argc != 3 || !holdRegularFile(QString::fromLocal8Bit(argv[1]), &file, &identity, &size)) {
        std::printf("FAIL: cannot hold %s\n", argc > 1 ? argv[1] : "(nothing)");
        return 2;
    }
    const BOOL moved = ::MoveFileExA(argv[2], argv[1], MOVEFILE_REPLACE_EXISTING);
    const DWORD moveError = ::GetLastError();
    const BOOL removed = ::DeleteFileA(argv[1]);
    const DWORD removeError = ::GetLastError();
    const bool started = startRelease(QString::fromLocal8Bit(argv[1]));
    letGo(file);
    const bool held = !moved && moveError == ERROR_SHARING_VIOLATION && !removed && removeError == ERROR_SHARING_VIOLATION;
    std::printf("%s: a rename over it and its removal fail with ERROR_SHARING_VIOLATION (%lu, %lu)\n"
                "%s: it starts all the same\n",
                held ? "PASS" : "FAIL", moved ? 0ul : moveError, removed ? 0ul : removeError, started ? "PASS" : "FAIL");
    return held && started ? 0 : 1;
}
