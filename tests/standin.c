/* A stand-in release. Started, it appends a line to the file that
 * PELLIMANTOR_STANDIN_LOG names: its working directory and how it was called
 * (the arguments on Unix, the command line on Windows), joined by " | ". With
 * PELLIMANTOR_STANDIN_HOLD it first opens that file for writing. With
 * PELLIMANTOR_STANDIN_GATE it then waits, a minute at most, until that file
 * exists, so a test can tell that its starter did not wait for it. */

#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#define Sleep(ms) usleep((ms) * 1000)
#endif

int main(int argc, char **argv)
{
    static char cwd[8192];
    const char *log = getenv("PELLIMANTOR_STANDIN_LOG"), *hold = getenv("PELLIMANTOR_STANDIN_HOLD");
    const char *gate = getenv("PELLIMANTOR_STANDIN_GATE");
    FILE *held = hold ? fopen(hold, "ab") : NULL, *out = log ? fopen(log, "ab") : NULL;
#ifdef _WIN32
    static wchar_t wide[8192];
    static char commandLine[8192];
    GetCurrentDirectoryW(8192, wide);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, cwd, sizeof cwd, NULL, NULL);
    WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, commandLine, sizeof commandLine, NULL, NULL);
    argv[0] = commandLine;
    argc = 1;
#else
    if (!getcwd(cwd, sizeof cwd))
        return 2;
#endif
    if (!out || (hold && !held))
        return 2;
    fputs(cwd, out);
    for (int i = 0; i < argc; ++i)
        fprintf(out, " | %s", argv[i]);
    fputs("\n", out);
    fclose(out);
    for (int waited = 0; gate && waited < 3000; ++waited) {
        FILE *probe = fopen(gate, "rb");
        if (probe && !fclose(probe))
            break;
        Sleep(20);
    }
    return 0;
}
