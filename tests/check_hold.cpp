// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The release the launcher checks is the release it starts: held as the
// launcher holds it, RELEASE can be neither renamed over by OTHER (Windows
// refuses to replace an open file: ERROR_ACCESS_DENIED), nor removed nor
// opened for writing (ERROR_SHARING_VIOLATION), and it still starts.
//   check_hold RELEASE OTHER   (both in the working directory)

#include "identity.h"
#include "launch.h"

#include <cstdio>
#include <windows.h>

// Prints whether `done` failed with `expected`, as `what` should.
static bool refused(const char *what, bool done, DWORD expected)
{
    const DWORD error = done ? 0 : ::GetLastError();
    std::printf("%s: %s is refused with error %lu (got %lu)\n", error == expected ? "PASS" : "FAIL", what, expected, error);
    return error == expected;
}

int main(int argc, char **argv)
{
    HeldFile file;
    FileIdentity identity;
    qint64 size;
    if (argc != 3 || !holdRegularFile(QString::fromLocal8Bit(argv[1]), &file, &identity, &size)) {
        std::printf("FAIL: cannot hold the release\n");
        return 2;
    }
    const HANDLE writer = ::CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    bool held = refused("an open for writing", writer != INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    held = refused("a rename of another file over it", ::MoveFileExA(argv[2], argv[1], MOVEFILE_REPLACE_EXISTING),
                   ERROR_ACCESS_DENIED) && held;
    held = refused("its removal", ::DeleteFileA(argv[1]), ERROR_SHARING_VIOLATION) && held;
    const bool started = startRelease(QString::fromLocal8Bit(argv[1]));
    letGo(file);
    std::printf("%s: it starts all the same\n", started ? "PASS" : "FAIL");
    return held && started ? 0 : 1;
}
