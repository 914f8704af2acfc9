// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The launcher's self-check on an image the system moved: places the bytes of
// IMAGE (a program as mapped at ADDRESS, relocations applied, made by
// check_image.py) at ADDRESS and asks, for each CANDIDATE, whether it is the
// launcher of that image; EXPECTED is 1 or 0.
//   check_image IMAGE ADDRESS [CANDIDATE EXPECTED]...

#include "identity.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

int main(int argc, char **argv)
{
    QFile file(QString::fromLocal8Bit(argv[1]));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const auto address = reinterpret_cast<void *>(std::strtoull(argv[2], nullptr, 16));
    void *image = ::VirtualAlloc(address, SIZE_T(bytes.size()), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (bytes.isEmpty() || image != address) {
        std::fprintf(stderr, "FAIL: cannot place %s at %s\n", argv[1], argv[2]);
        return 2;
    }
    std::memcpy(image, bytes.constData(), size_t(bytes.size()));
    int failed = 0;
    for (int i = 3; i + 1 < argc; i += 2) {
        const bool expected = std::strcmp(argv[i + 1], "1") == 0;
        if (isLauncherItself(QString::fromLocal8Bit(argv[i]), image) != expected) {
            std::printf("FAIL: %s: expected %s\n", argv[i], expected ? "the launcher" : "another program");
            ++failed;
        }
    }
    std::printf("%d passed, %d failed\n", (argc - 3) / 2 - failed, failed);
    return failed != 0;
}
