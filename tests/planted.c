// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

/* A DLL that records its loading: put beside a program under the name of a
 * DLL the program might load, it appends "loaded " and its path to the file
 * that PELLIMANTOR_STANDIN_LOG names when a process loads it. */

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH];
    const char *log = getenv("PELLIMANTOR_STANDIN_LOG");
    FILE *out;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && log && GetModuleFileNameA(instance, path, MAX_PATH) && (out = fopen(log, "ab"))) {
        fprintf(out, "loaded %s\n", path);
        fclose(out);
    }
    return TRUE;
}
