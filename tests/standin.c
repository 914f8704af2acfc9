/* A stand-in release. Each start appends one record to the file named by
 * PELLIMANTOR_STANDIN_LOG: the word "started", the program's own path, its
 * working directory and how it was called (the arguments on Unix, the raw
 * command line on Windows). When PELLIMANTOR_STANDIN_GATE names a file, it
 * then waits (at most a minute) until that file exists and appends a record
 * "finished", so a test can tell whether its starter waited for it.
 *
 * A record is a line with the field count, then each field as
 * "<byte length>:<bytes>\n", so names with any bytes survive. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#define MAX_FIELDS 64
#define TEXT_SIZE 8192

static void toUtf8(const wchar_t *wide, char *out)
{
#ifdef _WIN32
    if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, TEXT_SIZE, NULL, NULL))
        out[0] = '\0';
#else
    (void)wide;
    (void)out;
#endif
}

static void appendRecord(const char *logPath, int count, char **fields)
{
    FILE *log = fopen(logPath, "ab");
    if (!log)
        return;
    fprintf(log, "%d\n", count);
    for (int i = 0; i < count; ++i)
        fprintf(log, "%lu:%s\n", (unsigned long)strlen(fields[i]), fields[i]);
    fclose(log);
}

static int fileExists(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (file)
        fclose(file);
    return file != NULL;
}

static void pause20ms(void)
{
#ifdef _WIN32
    Sleep(20);
#else
    usleep(20000);
#endif
}

int main(int argc, char **argv)
{
    static char self[TEXT_SIZE], cwd[TEXT_SIZE], commandLine[TEXT_SIZE];
    char *fields[MAX_FIELDS];
    int count = 0;
    const char *logPath = getenv("PELLIMANTOR_STANDIN_LOG");
    const char *gatePath = getenv("PELLIMANTOR_STANDIN_GATE");
    if (!logPath)
        return 2;

#ifdef _WIN32
    static wchar_t wide[TEXT_SIZE];
    (void)argc;
    (void)argv;
    if (GetModuleFileNameW(NULL, wide, TEXT_SIZE) == 0)
        wide[0] = L'\0';
    toUtf8(wide, self);
    if (GetCurrentDirectoryW(TEXT_SIZE, wide) == 0)
        wide[0] = L'\0';
    toUtf8(wide, cwd);
    toUtf8(GetCommandLineW(), commandLine);
#else
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    self[length > 0 ? length : 0] = '\0';
    if (!getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';
    (void)toUtf8;
    (void)commandLine;
#endif

    fields[count++] = "started";
    fields[count++] = self;
    fields[count++] = cwd;
#ifdef _WIN32
    fields[count++] = commandLine;
#else
    for (int i = 0; i < argc && count < MAX_FIELDS; ++i)
        fields[count++] = argv[i];
#endif
    appendRecord(logPath, count, fields);

    if (gatePath) {
        for (int waited = 0; waited < 3000 && !fileExists(gatePath); ++waited)
            pause20ms();
        fields[0] = "finished";
        appendRecord(logPath, 1, fields);
    }
    return 0;
}
