// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

/* A stand-in release. Started, it appends a line to the file that
 * PELLIMANTOR_STANDIN_LOG names: its working directory and its arguments, the
 * program first, joined by " | ". Given one argument, it first opens that file
 * for writing and holds it open. With PELLIMANTOR_STANDIN_GATE it then waits,
 * a minute at most, while that file exists, so a test can tell that its
 * starter did not wait for it. */

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    static char cwd[8192];
    const char *log = getenv("PELLIMANTOR_STANDIN_LOG"), *gate = getenv("PELLIMANTOR_STANDIN_GATE");
    FILE *held = argc == 2 ? fopen(argv[1], "ab") : NULL, *out = log ? fopen(log, "ab") : NULL;
    if (!out || !getcwd(cwd, sizeof cwd) || (argc == 2 && !held))
        return 2;
    fputs(cwd, out);
    for (int i = 0; i < argc; ++i)
        fprintf(out, " | %s", argv[i]);
    fputs("\n", out);
    fclose(out);
    for (int waited = 0; gate && waited < 3000 && access(gate, F_OK) == 0; ++waited)
        usleep(20000);
    return 0;
}
