// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

/* Runs programs round-robin (A B C A B C ...) in a folder and reports, for
 * each, the median wall time, the median of its per-round time ratios to the
 * last program (the floor), and its peak resident memory and page faults as
 * wait4 reports them. The first rounds are a warm-up and are discarded, and
 * every run must end with exit status 1. Written in C so that the measuring
 * process itself is small: a child's peak memory counts what it held before
 * it became the program measured.
 *
 * Usage: measure FOLDER ROUNDS WARMUP NAME=PROGRAM... (the last is the floor) */

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_PROGRAMS 8

/* The figures of one program, one entry per measured round. */
enum { TIME, RATIO, MEMORY, FAULTS, FIGURES };

static int byValue(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static double median(double *values, int count)
{
    qsort(values, count, sizeof *values, byValue);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

/* Runs `program` to its end in `folder`; stores its seconds, peak memory in KiB and page faults. */
static void run(const char *folder, const char *program, double *seconds, double *peakKiB, double *faults)
{
    struct timespec start, end;
    struct rusage usage;
    int status;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (chdir(folder) == 0)
            execl(program, program, (char *)NULL);
        _exit(127);
    }
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        perror("measure");
        exit(2);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
        fprintf(stderr, "measure: %s ended with status %d, expected exit status 1\n", program, status);
        exit(2);
    }
    *seconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    *peakKiB = usage.ru_maxrss;
    *faults = usage.ru_minflt + usage.ru_majflt;
}

int main(int argc, char **argv)
{
    int count = argc - 4, rounds = argc > 3 ? atoi(argv[2]) : 0, warmup = argc > 3 ? atoi(argv[3]) : 0;
    /* Each NAME=PROGRAM argument split once into its name and its program. */
    const char *names[MAX_PROGRAMS], *programs[MAX_PROGRAMS];
    int named = count >= 2 && count <= MAX_PROGRAMS;
    for (int p = 0; named && p < count; ++p) {
        char *separator = strchr(argv[4 + p], '=');
        named = separator != NULL;
        if (named) {
            *separator = '\0';
            names[p] = argv[4 + p];
            programs[p] = separator + 1;
        }
    }
    if (!named || rounds < 1) {
        fprintf(stderr, "usage: measure FOLDER ROUNDS WARMUP NAME=PROGRAM... (2 to %d programs, the last the floor)\n", MAX_PROGRAMS);
        return 2;
    }
    double *figures[MAX_PROGRAMS][FIGURES], peak[MAX_PROGRAMS] = {0};
    for (int p = 0; p < count; ++p)
        for (int f = 0; f < FIGURES; ++f)
            figures[p][f] = calloc(rounds, sizeof(double));
    for (int i = 0; i < warmup + rounds; ++i) {
        double seconds[MAX_PROGRAMS], kib[MAX_PROGRAMS], faults[MAX_PROGRAMS];
        for (int p = 0; p < count; ++p)
            run(argv[1], programs[p], &seconds[p], &kib[p], &faults[p]);
        for (int p = 0; i >= warmup && p < count; ++p) {
            double values[FIGURES] = {seconds[p] * 1000, seconds[p] / seconds[count - 1], kib[p] / 1024, faults[p]};
            for (int f = 0; f < FIGURES; ++f)
                figures[p][f][i - warmup] = values[f];
            peak[p] = kib[p] / 1024 > peak[p] ? kib[p] / 1024 : peak[p];
        }
    }
    for (int p = 0; p < count; ++p)
        printf("  %-8s %8.2f ms  %5.2fx the floor  peak memory %5.1f MiB (max %5.1f)  %6.0f page faults\n",
               names[p], median(figures[p][TIME], rounds),
               median(figures[p][RATIO], rounds), median(figures[p][MEMORY], rounds), peak[p],
               median(figures[p][FAULTS], rounds));
    return 0;
}
